// WebKitGTK, Safari's engine, over classic WebDriver (HTTP and JSON):
// WebKitWebDriver starts its MiniBrowser in automation mode, on a private
// Xvfb screen, since MiniBrowser has no headless mode. Node's own http:
// the web preset turns node's fetch off.
'use strict';
const fs = require('fs'), http = require('http'), net = require('net');

const keys = { Escape: '\uE00C', Home: '\uE011', ArrowLeft: '\uE012', ArrowRight: '\uE014' };
const element = 'element-6066-11e4-a52e-4f735466cecf';

// One command: its value, or its error thrown.
function call(port, method, path, body, ms = 60000) {
    return new Promise((ok, no) => {
        const data = body && JSON.stringify(body);
        const req = http.request({ host: '127.0.0.1', port, method, path, timeout: ms,
            headers: data ? { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(data) } : {} }, res => {
            const got = [];
            res.on('data', d => got.push(d));
            res.on('end', () => {
                const { value } = JSON.parse(Buffer.concat(got));
                if (value && value.error) no(new Error(`${value.error}: ${value.message}`));
                else ok(value);
            });
        });
        req.on('timeout', () => req.destroy(new Error(`no answer in ${ms} ms to ${method} ${path}`)));
        req.on('error', no);
        req.end(data);
    });
}

const freePort = () => new Promise(ok => {
    const s = net.createServer().listen(0, '127.0.0.1', () => {
        const { port } = s.address();
        s.close(() => ok(port));
    });
});

async function start(dir, { launch, unavailable, sleep }) {
    const lib = fs.readdirSync('/usr/lib').map(d => `/usr/lib/${d}/webkit2gtk-4.1/MiniBrowser`).find(fs.existsSync);
    if (!lib) throw unavailable('no MiniBrowser: libwebkit2gtk-4.1-0 is not installed');
    // Xvfb picks a free screen and names it on descriptor 3.
    const screen = await launch('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-noreset', '-nolisten', 'tcp'],
        { pattern: /^(\d+)\n/, from: 3 });
    const port = await freePort();
    let driver, session;
    try {
        // Skia draws on the processor, not through Xvfb's software OpenGL:
        // there, a worker's OffscreenCanvas drawn at once frame after frame,
        // as in the page's test mode, corrupted the web process's heap in
        // half the runs (WebKitGTK 2.50).
        driver = await launch('WebKitWebDriver', ['--port=' + port],
            { env: { ...process.env, DISPLAY: ':' + screen.match[1], WEBKIT_SKIA_ENABLE_CPU_RENDERING: '1' } });
        for (let t = 0; !await call(port, 'GET', '/status', null, 1000).catch(() => null); t++) {
            if (t > 100) throw new Error('did not answer in 10 s');
            await sleep(100);
        }
        session = await call(port, 'POST', '/session', { capabilities: { alwaysMatch:
            { 'webkitgtk:browserOptions': { binary: lib, args: ['--automation'] } } } }, 30000);
    } catch (e) {
        if (driver) await driver.stop();
        await screen.stop();
        throw e.unavailable ? e : unavailable('WebKitWebDriver ' + e.message);
    }
    const { sessionId, capabilities } = session;
    const command = (method, path, body) => call(port, method, `/session/${sessionId}${path}`, body);
    const act = (source, actions) => command('POST', '/actions', { actions: [{ ...source, actions }] });
    return {
        version: `WebKitGTK ${capabilities.browserVersion}`,
        navigate: url => command('POST', '/url', { url }),
        // A promise the script returns is awaited.
        evaluate: expression => command('POST', '/execute/sync', { script: 'return ' + expression, args: [] }),
        // WebKitGTK takes a touch as the mouse: the page sees a click.
        pointer: (pointerType, x, y) => act({ type: 'pointer', id: pointerType, parameters: { pointerType } },
            [{ type: 'pointerMove', x, y }, { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }]),
        key: (type, key) => act({ type: 'key', id: 'keys' }, [{ type: type == 'down' ? 'keyDown' : 'keyUp', value: keys[key] || key }]),
        async setFiles(selector, files) {
            const found = await command('POST', '/element', { using: 'css selector', value: selector });
            await command('POST', `/element/${found[element]}/value`, { text: files.join('\n') });
        },
        close: async () => {
            await command('DELETE', '').catch(() => {});
            await driver.stop();
            await screen.stop();
        },
    };
}

module.exports = { start };
