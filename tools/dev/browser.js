// A browser driven for the page's tests and benchmark: one of three
// engines, each through the protocol it speaks (browser/cdp.js: Chromium's
// DevTools protocol; browser/bidi.js: Firefox's WebDriver BiDi;
// browser/webdriver.js: WebKit's classic WebDriver), behind one page. The
// site is served from a folder, with files served in place of its own, and
// scripts put before the page's own in every HTML file: no classic
// WebDriver runs a script before a page's, and so every engine gets them
// the same way. As a command, it plays the page in test mode and keeps
// what it reports:
//
//   node tools/dev/browser.js ENGINE SITE '?fps=N&seed=S&still=T1,T2' REPORTS [NAME=FILE...]
//
// ENGINE chromium, firefox or webkit; each NAME=FILE serves the file FILE as
// the site's NAME. An engine that cannot be started here is skipped: exit
// status 77, with a line saying why. Firefox's back end needs node's
// --experimental-websocket.
'use strict';
const fs = require('fs'), http = require('http'), os = require('os'), path = require('path'), url = require('url');
const { spawn } = require('child_process');

const engines = { chromium: './browser/cdp.js', firefox: './browser/bidi.js', webkit: './browser/webdriver.js' };
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

// An engine missing or failing as it starts is not the page's fault.
const unavailable = why => Object.assign(new Error(why), { unavailable: true });

// Starts a browser's program in a process group of its own, which its
// helper processes join, and waits until it says on its stream from (2:
// stderr) what pattern matches; with no pattern, until it runs. Returns
// it, with what matched and stop(), which ends the group. Its output is
// read to the end, or it would stop once the pipe is full. Whatever still
// runs when node exits is ended with it.
const running = new Set();
process.on('exit', () => running.forEach(child => child.stop()));
for (const signal of ['SIGINT', 'SIGTERM']) process.on(signal, () => process.exit(1));
function launch(command, args, { pattern, from = 2, env, ms = 30000 } = {}) {
    const child = spawn(command, args, { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'], detached: true, env });
    const ended = new Promise(go => child.on('close', go));
    running.add(child);
    child.on('close', () => running.delete(child));
    child.stop = () => {
        try {
            process.kill(-child.pid, 'SIGKILL');
        } catch (e) { /* already gone */ }
        return ended;
    };
    return new Promise((ok, no) => {
        let said = '', settled = false;
        const settle = (then, value) => settled || (settled = true, clearTimeout(timer), then(value));
        const fail = why => settled || (child.stop(), settle(no, unavailable(`${command} ${why}`)));
        const timer = setTimeout(() => fail(`was not ready in ${ms / 1000} s`), ms);
        child.on('error', e => fail(e.code == 'ENOENT' ? 'is not installed' : e.message));
        child.on('exit', () => fail('ended as it started: ' + said.trim().split('\n').slice(-3).join(' / ')));
        if (!pattern) child.on('spawn', () => settle(ok, child));
        child.stdio[from].on('data', d => {
            if (settled) return;
            said += d;
            const m = pattern && pattern.exec(said);
            if (m) settle(ok, Object.assign(child, { match: m }));
        });
    });
}

// Scripts before the first script of an HTML page, so that they run first.
function inject(html, scripts) {
    if (!scripts.length) return html;
    return html.replace('<script', () => `<script>\n${scripts.join('\n').replace(/<\//g, '<\\/')}\n</script>\n<script`);
}

// Serves the folder; a file named in files is served from there instead,
// or is missing when it is null there; HTML with the scripts before put in.
// What the page reports in test mode (a POST to /report/NAME) is kept as
// the file NAME in the folder reports.
function serve(dir, files, before, reports) {
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
        const type = types[path.extname(file)] || 'application/octet-stream';
        const answer = (err, data) => {
            res.writeHead(err ? 404 : 200, { 'Content-Type': type });
            res.end(err ? '' : type == 'text/html' ? inject(String(data), before) : data);
        };
        if (file in files) answer(!files[file], files[file]);
        else fs.readFile(path.join(dir, file), answer);
    });
    return new Promise(ok => server.listen(0, '127.0.0.1', () => ok(server)));
}

const sleep = ms => new Promise(go => setTimeout(go, ms));
// A promise, or a failure after ms.
function within(promise, ms, what) {
    let timer;
    const late = new Promise((_, no) => timer = setTimeout(() => no(new Error(`no answer in ${ms} ms to ${what}`)), ms));
    return Promise.race([promise, late]).finally(() => clearTimeout(timer));
}

// Opens the site's page in the engine at query (such as '?fps=20') and
// returns it: evaluate an expression in the page (its value, once a promise
// settles), wait until one holds, click or tap it at a point of its
// viewport (`at` finds an element's), press or release a key ('down' or 'up'; Escape, a letter or
// ' '), pick files for an <input type=file>, go to it again at another
// query, or to an HTML file from disk (a copy with the scripts before, at
// a file:// address). Its files (see serve) and before, the scripts run
// before the page's own, first those given, can be changed meanwhile and
// hold from the next page loaded. send: Chromium's protocol alone.
async function open(engine, site, { query = '', reports = null, files = {}, before = [] } = {}) {
    if (!engines[engine]) throw new Error(`no engine ${engine}: chromium, firefox or webkit`);
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), `vaskiloimu-${engine}-`));
    const page = { engine, files: { ...files }, before: [...before] };
    const server = await serve(site, page.files, page.before, reports);
    let b;
    try {
        b = await require(engines[engine]).start(dir, { launch, unavailable, sleep });
    } catch (e) {
        server.close();
        fs.rmSync(dir, { recursive: true, force: true });
        throw e;
    }
    // Every engine evaluates the same script: the expression, statements
    // too, at the page's top level, and its value as JSON.
    page.evaluate = async (expression, ms = 30000) => {
        const r = JSON.parse(await within(b.evaluate(`Promise.resolve().then(() => (0, eval)(${JSON.stringify(expression)}))
            .then(v => JSON.stringify({ v }), e => JSON.stringify({ e: String(e) }))`), ms, expression));
        if ('e' in r) throw new Error(`${expression}: ${r.e}`);
        return r.v;
    };
    page.until = async (expression, ms = 10000) => {
        for (const end = Date.now() + ms; ;) {
            // Before the page has loaded, its names are not there yet.
            let why = 'it is false';
            try {
                if (await page.evaluate(expression, Math.max(1000, end - Date.now()))) return;
            } catch (e) {
                why = e.message;
            }
            if (Date.now() > end) throw new Error(`waited ${ms} ms for ${expression}: ${why}`);
            await sleep(50);
        }
    };
    page.go = async (to = query) => {
        if (/^(\?|$)/.test(to)) return b.navigate(`http://127.0.0.1:${server.address().port}/${to}`);
        const copy = path.join(dir, path.basename(to));
        fs.writeFileSync(copy, inject(fs.readFileSync(to, 'utf8'), page.before));
        return b.navigate(url.pathToFileURL(copy).href);
    };
    page.click = (x = 10, y = 10) => b.pointer('mouse', x, y);
    // The point `across` an element's width, in its middle, once it stands
    // still: WebKitGTK's window, for one, grows to full screen only after
    // the page is told it is there.
    page.at = async (selector, across = 0.5) => {
        const at = () => page.evaluate(`(r => [Math.round(r.x + r.width * ${across}), Math.round(r.y + r.height / 2)])
            (document.querySelector('${selector}').getBoundingClientRect())`);
        for (let was = ''; ; await sleep(250)) {
            const now = await at();
            if (String(now) == was) return now;
            was = String(now);
        }
    };
    page.tap = (x, y) => b.pointer('touch', x, y);
    page.key = (type, name) => b.key(type, name);
    page.press = async name => {
        await b.key('down', name);
        await b.key('up', name);
    };
    page.setFiles = (selector, paths) => b.setFiles(selector, paths);
    page.send = b.send;
    page.version = b.version;
    page.close = async () => {
        await b.close();
        server.close();
        fs.rmSync(dir, { recursive: true, force: true, maxRetries: 10 });
    };
    await page.go();
    return page;
}

// The page at query until it reports that it is done; what it reports goes
// to the folder reports. Once it has reported every still asked for, it is
// ended as by releasing Esc: the rest of the run would show nothing more.
async function report(engine, site, query, reports, ...instead) {
    const files = Object.fromEntries(instead.map(a => [a.slice(0, a.indexOf('=')), fs.readFileSync(a.slice(a.indexOf('=') + 1))]));
    const stills = (new URLSearchParams(query).get('still') || '').split(',').filter(Boolean);
    const got = name => fs.existsSync(path.join(reports, name));
    const page = await open(engine, site, { query, reports, files });
    try {
        await page.until("state != 'loading'", 30000);
        // Asked on, a browser that has crashed says so at once, and a page
        // that shows no new frame for 10 s has stopped.
        for (let frames = -1, since = Date.now(), escaped = false; !got('done');) {
            const shown = await page.evaluate("state == 'failed' ? -1 : spent().then(s => s.frames)", 10000);
            if (shown < 0) break;
            if (shown != frames) [frames, since] = [shown, Date.now()];
            else if (Date.now() - since > 10000 && !got('done')) throw new Error(`the page stopped at frame ${frames}`);
            if (!escaped && stills.every(t => got(`still-${t}`))) {
                escaped = true;
                await page.press('Escape');
            }
            await sleep(500);
        }
    } finally {
        await page.close();
    }
}

// A script to put before the page's own: its second worker, which makes the
// fire's checkpoints ahead, never answers, and the demo's worker lands from
// checkpoints of its own.
const noRunAhead = `Worker = (W => { let made = 0;
    return function (url) { return made++ ? { postMessage() {}, terminate() {} } : new W(url); }; })(Worker);`;

module.exports = { open, report, noRunAhead, engines: Object.keys(engines) };
if (require.main === module)
    report(...process.argv.slice(2)).catch(e => {
        console.log(e.unavailable ? `skipped: ${process.argv[2]} cannot be started here: ${e.message}` : e.message);
        process.exit(e.unavailable ? 77 : 1);
    });
