// Headless Chromium, over its DevTools protocol on a pair of pipes
// (--remote-debugging-pipe: messages end with a NUL byte), which plain node
// can drive. Its screen takes touches as well as the mouse, as a phone's.
'use strict';
const path = require('path');

// Keys as the protocol sends them: the key, its code and its key code.
const keys = { Escape: ['Escape', 27], a: ['KeyA', 65], f: ['KeyF', 70], ' ': ['Space', 32], Home: ['Home', 36],
    ArrowLeft: ['ArrowLeft', 37], ArrowRight: ['ArrowRight', 39] };
for (let d = 0; d < 10; d++) keys[d] = ['Digit' + d, 48 + d];

function devtools(browser) {
    const waiting = new Map(), to = browser.stdio[3];
    let last = 0, got = '';
    browser.stdio[4].on('data', d => {
        const messages = (got += d).split('\0');
        got = messages.pop();
        for (const text of messages) {
            const m = JSON.parse(text), w = waiting.get(m.id);
            if (!w) continue;
            waiting.delete(m.id);
            if (m.error) w.no(new Error(m.error.message));
            else w.ok(m.result);
        }
    });
    browser.on('exit', () => {
        for (const w of waiting.values()) w.no(new Error('Chromium has ended'));
        waiting.clear();
    });
    return (method, params = {}, sessionId) => new Promise((ok, no) => {
        waiting.set(++last, { ok, no });
        to.write(JSON.stringify({ id: last, method, params, sessionId }) + '\0');
    });
}

async function start(dir, { launch }) {
    const browser = await launch('chromium', ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
        '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync',
        '--user-data-dir=' + path.join(dir, 'profile'), '--remote-debugging-pipe', 'about:blank']);
    const cdp = devtools(browser);
    const { targetId } = await cdp('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await cdp('Target.attachToTarget', { targetId, flatten: true });
    const send = (method, params) => cdp(method, params, sessionId);
    await send('Page.enable');
    await send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 1 });
    return {
        send,
        version: (await cdp('Browser.getVersion')).product,
        navigate: url => send('Page.navigate', { url }),
        async evaluate(expression) {
            const r = await send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true });
            if (r.exceptionDetails) throw new Error(r.exceptionDetails.text);
            return r.result.value;
        },
        async pointer(kind, x, y) {
            if (kind == 'touch')
                for (const type of ['touchStart', 'touchEnd'])
                    await send('Input.dispatchTouchEvent', { type, touchPoints: type == 'touchEnd' ? [] : [{ x, y }] });
            else
                for (const type of ['mousePressed', 'mouseReleased'])
                    await send('Input.dispatchMouseEvent', { type, x, y, button: 'left', clickCount: 1 });
        },
        key: (type, key) => send('Input.dispatchKeyEvent',
            { type: type == 'down' ? 'keyDown' : 'keyUp', key, code: keys[key][0], windowsVirtualKeyCode: keys[key][1] }),
        async setFiles(selector, files) {
            const { root } = await send('DOM.getDocument');
            const { nodeId } = await send('DOM.querySelector', { nodeId: root.nodeId, selector });
            await send('DOM.setFileInputFiles', { nodeId, files });
        },
        close: browser.stop,
    };
}

module.exports = { start };
