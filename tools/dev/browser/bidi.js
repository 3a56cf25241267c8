// Headless Firefox ESR, over WebDriver BiDi: Firefox itself listens on a
// WebSocket (--remote-debugging-port), which node 20 speaks with
// --experimental-websocket; no geckodriver.
'use strict';
const fs = require('fs'), path = require('path');

// Keys by the characters WebDriver names them with.
const keys = { Escape: '\uE00C', Home: '\uE011', ArrowLeft: '\uE012', ArrowRight: '\uE014' };

async function start(dir, { launch, unavailable }) {
    if (typeof WebSocket != 'function') throw new Error('node runs no WebSocket without --experimental-websocket');
    const profile = fs.mkdirSync(path.join(dir, 'profile'), { recursive: true });
    const browser = await launch('firefox-esr', ['--headless', '--no-remote', '--profile', profile,
        '--remote-debugging-port', '0', 'about:blank'], { pattern: /WebDriver BiDi listening on (ws:\S+)/ });
    const socket = new WebSocket(browser.match[1] + '/session');
    await new Promise((ok, no) => (socket.onopen = ok, socket.onerror = () => no(unavailable('Firefox took no connection'))));
    const waiting = new Map();
    let last = 0;
    socket.onmessage = e => {
        const m = JSON.parse(e.data), w = waiting.get(m.id);
        if (!w) return;
        waiting.delete(m.id);
        if (m.type == 'error') w.no(new Error(`${m.error}: ${m.message}`));
        else w.ok(m.result);
    };
    socket.onclose = () => {
        for (const w of waiting.values()) w.no(new Error('Firefox has ended'));
        waiting.clear();
    };
    const send = (method, params = {}) => new Promise((ok, no) => {
        waiting.set(++last, { ok, no });
        socket.send(JSON.stringify({ id: last, method, params }));
    });
    const { capabilities } = await send('session.new', { capabilities: {} });
    // A tab of its own: the one Firefox opens with is never focused when
    // headless, and refuses to go full screen.
    const first = (await send('browsingContext.getTree')).contexts[0].context;
    const { context } = await send('browsingContext.create', { type: 'tab' });
    await send('browsingContext.close', { context: first });
    const act = (source, actions) => send('input.performActions', { context, actions: [{ ...source, actions }] });
    const evaluate = async (expression, resultOwnership = 'none') => {
        const r = await send('script.evaluate', { expression, target: { context }, awaitPromise: true, resultOwnership });
        if (r.type == 'exception') throw new Error(r.exceptionDetails.text);
        return r.result;
    };
    return {
        version: `Firefox ${capabilities.browserVersion}`,
        navigate: url => send('browsingContext.navigate', { context, url, wait: 'complete' }),
        evaluate: async expression => (await evaluate(expression)).value,
        // A touch arrives as touch events, and as a click.
        pointer: (pointerType, x, y) => act({ type: 'pointer', id: pointerType, parameters: { pointerType } },
            [{ type: 'pointerMove', x, y }, { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }]),
        key: (type, key) => act({ type: 'key', id: 'keys' }, [{ type: type == 'down' ? 'keyDown' : 'keyUp', value: keys[key] || key }]),
        async setFiles(selector, files) {
            const { sharedId } = await evaluate(`document.querySelector(${JSON.stringify(selector)})`, 'root');
            await send('input.setFiles', { context, element: { sharedId }, files });
        },
        close: async () => {
            socket.close();
            await browser.stop();
        },
    };
}

module.exports = { start };
