// Headless Chromium driven over its DevTools protocol, for the page's
// benchmark and its tests: the site served from a folder, a fresh profile,
// one page to send commands to. As a command, it plays the page in test mode
// and keeps what it reports:
//
//   node tools/dev/chromium.js SITE '?fps=N&seed=S&still=T1,T2' REPORTS [NAME=FILE...]
//
// each NAME=FILE serving the file FILE as the site's NAME.
// The protocol goes over a pair of pipes (--remote-debugging-pipe: messages
// end with a NUL byte), which plain node can drive.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs'), http = require('http'), os = require('os'), path = require('path');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

// Serves the folder; a file named in instead is served from there, or
// missing when it is null there. What the page reports in test mode (a POST
// to /report/NAME) is kept as the file NAME in the folder reports.
function serve(dir, instead, reports) {
    const server = http.createServer((req, res) => {
        if (req.method == 'POST' && reports) {
            const body = [];
            req.on('data', d => body.push(d));
            return req.on('end', () => {
                fs.writeFileSync(path.join(reports, path.basename(req.url)), Buffer.concat(body));
                res.writeHead(204).end();
            });
        }
        const file = path.normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname)).slice(1) || 'index.html';
        const answer = (err, data) => {
            res.writeHead(err ? 404 : 200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
            res.end(err ? '' : data);
        };
        if (file in instead) answer(!instead[file], instead[file]);
        else fs.readFile(path.join(dir, file), answer);
    });
    return new Promise(ok => server.listen(0, '127.0.0.1', () => ok(server)));
}

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

// Opens the site's page at query (such as '?fps=20') and returns it: send a
// protocol command, evaluate an expression in the page, wait until one holds,
// click it, go to it again (or at another query); files (see serve), first
// those given, can be changed meanwhile.
async function open(site, query = '', reports = null, files = {}) {
    const server = await serve(site, files, reports);
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vaskiloimu-chromium-'));
    const browser = spawn('chromium', ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
        '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync',
        '--user-data-dir=' + profile, '--remote-debugging-pipe', 'about:blank'],
        { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'], detached: true });
    const ended = new Promise(go => browser.on('exit', go));
    const cdp = devtools(browser);
    const { targetId } = await cdp('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await cdp('Target.attachToTarget', { targetId, flatten: true });
    const send = (method, params) => cdp(method, params, sessionId);
    const evaluate = async expression => {
        const r = await send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true });
        if (r.exceptionDetails) throw new Error(expression + ': ' + r.exceptionDetails.text +
            (r.exceptionDetails.exception ? ' ' + r.exceptionDetails.exception.description : ''));
        return r.result.value;
    };
    const until = async (expression, ms = 10000) => {
        for (const end = Date.now() + ms; ;) {
            // Before the page has loaded, its names are not there yet.
            let why = 'it is false';
            try {
                if (await evaluate(expression)) return;
            } catch (e) {
                why = e.message;
            }
            if (Date.now() > end) throw new Error(`waited ${ms} ms for ${expression}: ${why}`);
            await new Promise(go => setTimeout(go, 50));
        }
    };
    const close = async () => {
        // Its helper processes too: they share its process group.
        process.kill(-browser.pid);
        await ended;
        server.close();
        fs.rmSync(profile, { recursive: true, force: true, maxRetries: 10 });
    };
    const click = async () => {
        for (const type of ['mousePressed', 'mouseReleased'])
            await send('Input.dispatchMouseEvent', { type, x: 10, y: 10, button: 'left', clickCount: 1 });
    };
    const go = (q = query) => send('Page.navigate', { url: `http://127.0.0.1:${server.address().port}/${q}` });
    await send('Page.enable');
    await go();
    return { send, evaluate, until, click, go, close, files, version: (await cdp('Browser.getVersion')).product };
}

// The page at query until it reports that it is done; what it reports goes
// to the folder reports.
async function report(site, query, reports, ...instead) {
    const files = Object.fromEntries(instead.map(a => [a.slice(0, a.indexOf('=')), fs.readFileSync(a.slice(a.indexOf('=') + 1))]));
    const page = await open(site, query, reports, files);
    await page.until("state != 'loading'", 30000);
    for (const end = Date.now() + 300000; Date.now() < end && !fs.existsSync(path.join(reports, 'done'));)
        await new Promise(go => setTimeout(go, 500));
    await page.close();
}

module.exports = { open, report };
if (require.main === module)
    report(...process.argv.slice(2)).catch(e => { console.error(e.message); process.exit(1); });
