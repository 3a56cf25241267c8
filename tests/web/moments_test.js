// Going to a moment on the page, played normally: the keys video players
// use, the timeline, links to a moment (bad ones too) and the link the
// controls give. Where the page lands its canvas is the capture tool's
// still there at 60 fps with the same seed, fire included: forward, back,
// and while paused. Prints "ok: ..." or "FAILED: ..." a check; exit status
// 77 when the engine cannot be started here.
//
//   node --experimental-websocket tests/web/moments_test.js ENGINE SITE NATIVE_CAPTURE MEDIA
'use strict';
const browser = require('../../tools/dev/browser.js');
const { execFileSync } = require('child_process');
const fs = require('fs'), os = require('os'), path = require('path');

const [engine, site, capture, media] = process.argv.slice(2);
const note = "document.getElementById('note').textContent";
const seed = 11, moments = [30000, 45000, 60000];

const press = (page, key) => page.press(key);
// Where the page stands once it has landed within ms of `to`, and goes on.
const lands = (page, to, ms = 300) => page.until(`position >= ${to} && position < ${to + ms}`, 5000);
const still = async page => {
    const before = await page.evaluate('spent().then(s => s.frames)');
    await new Promise(go => setTimeout(go, 300));
    if (await page.evaluate('spent().then(s => s.frames)') != before) throw new Error('it did not stay paused');
};

// The native stills, as the canvas's bytes R, G, B, A.
const native = fs.mkdtempSync(path.join(os.tmpdir(), 'vaskiloimu-moments-'));
execFileSync(capture, ['--media', media, '--seed', seed, '--fps', 60, '--still', moments.join(','), '--quiet', '--out-dir', native]);
const want = t => execFileSync('convert', [path.join(native, `still-${String(t).padStart(5, '0')}.png`), '-depth', '8',
    '-alpha', 'opaque', 'rgba:-'], { maxBuffer: 1 << 22 });
const same = async (page, reports, t) => {
    const file = path.join(reports, 'still-' + t);
    for (const end = Date.now() + 5000; !fs.existsSync(file) && Date.now() < end;) await new Promise(go => setTimeout(go, 100));
    if (!fs.existsSync(file) || !fs.readFileSync(file).equals(want(t))) throw new Error(`the canvas at ${t} ms is not the 60 fps run's`);
};

const cases = [
    ['the keys land where a 60 fps run is, forward, back and paused', async (page, reports) => {
        await press(page, '6');
        await same(page, reports, 45000);
        await press(page, '4');
        await same(page, reports, 30000);
        await press(page, ' ');
        await still(page);
        await press(page, '8');
        await same(page, reports, 60000);
        await still(page);
        if (await page.evaluate('position') != 60000) throw new Error('paused, it shows ' + await page.evaluate('position'));
    }, `?seed=${seed}&still=${moments.join(',')}`],
    ['→ and ← go 5 s on and back, Home to the start', async page => {
        await press(page, 'Home');
        await lands(page, 0);
        await press(page, 'ArrowRight');
        await lands(page, 5000);
        await press(page, 'ArrowLeft');
        await press(page, 'ArrowLeft');
        await lands(page, 0);
    }],
    ['the timeline goes where it is clicked', async page => {
        await page.click();
        await page.until("document.body.classList.contains('controls')");
        await page.click(...await page.at('#time', 0.8));
        await page.until('position > 55000 && position < 65000', 5000);
    }],
    ['a link lands where it says', async (page, reports) => await same(page, reports, 45000),
        `?seed=${seed}&still=${moments.join(',')}#t=45`],
    ['a link to a fraction of a second', page => lands(page, 45500), '#t=45.5'],
    ['a link past the end plays the end', page => page.until(`${note} == 'Click or press a key to play again.'`), '#t=80'],
    ['a link before the start starts at the start', page => lands(page, 0, 2000), '#t=-5'],
    ['a link to no number is no link', page => lands(page, 0, 2000), '#t=soon'],
    ['a new link, the page playing, goes there', async page => {
        await page.evaluate("location.hash = '#t=30'");
        await lands(page, 30000);
    }],
    ['Link gives a link to the moment shown', async page => {
        await press(page, ' ');
        await page.evaluate("document.getElementById('link').click()");
        const [hash, position] = await page.evaluate('[location.hash, position]');
        if (hash != '#t=' + (position / 1000).toFixed(1)) throw new Error(`${hash} at ${position} ms`);
    }],
];

async function main() {
    let failed = 0, page;
    const reports = fs.mkdtempSync(path.join(os.tmpdir(), 'vaskiloimu-reports-'));
    try {
        page = await browser.open(engine, site, { reports });
    } catch (e) {
        if (!e.unavailable) throw e;
        console.log(`skipped: ${engine} cannot be started here: ${e.message}`);
        process.exit(77);
    }
    for (const [i, [name, run, query = '']] of cases.entries()) {
        for (const f of fs.readdirSync(reports)) fs.rmSync(path.join(reports, f));
        try {
            // A new address each time: one that differs in its #t alone
            // would not load the page again.
            await page.go(`?case=${i}` + (query[0] == '?' ? '&' + query.slice(1) : query));
            await page.until("state == 'ready'", 30000);
            await page.click();
            // The program has started, or already ended.
            await page.until("state != 'ready' && (state != 'running' || length > 0)");
            await run(page, reports);
            console.log(`ok: ${name}${query ? ` (${query})` : ''}`);
        } catch (e) {
            console.log(`FAILED: ${name} ${query}: ${e.message}`);
            failed++;
        }
    }
    await page.close();
    for (const dir of [reports, native]) fs.rmSync(dir, { recursive: true, force: true });
    process.exit(failed ? 1 : 0);
}

main().catch(e => {
    console.log('FAILED: the page could not be driven: ' + e.message);
    process.exit(1);
});
