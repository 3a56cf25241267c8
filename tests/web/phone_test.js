// The page on a phone, as Chromium emulates one: touch, a screen of 390x844
// CSS pixels at 3 device pixels each, upright and then sideways, and no
// full screen for elements, as on an iPhone. Real taps on Full screen,
// Pause, Play and Stop, a double tap, a tap on the timeline, and an error
// thrown on purpose, each leaving the player working; the whole picture in
// view, and the controls on screen, at least 44 CSS pixels and clear of the
// picture's centre. Prints "ok: ..." or "FAILED: ..." a check.
//
//   node tests/web/phone_test.js SITE
'use strict';
const browser = require('../../tools/dev/browser.js');

const site = process.argv[2];
const iphone = 'delete Element.prototype.requestFullscreen; delete Element.prototype.webkitRequestFullscreen;';
const note = "document.getElementById('note').textContent";
const rect = selector => `(r => [r.left, r.top, r.right, r.bottom])(document.querySelector('${selector}').getBoundingClientRect())`;

async function tap(page, selector, twice) {
    const at = await page.at(selector);
    for (let i = 0; i < (twice ? 2 : 1); i++)
        await page.tap(...at);
}
const frames = page => page.evaluate('spent().then(s => s.frames)');
// The demo goes on, with nothing over it.
const goesOn = async (page, what) => {
    const before = await frames(page);
    await page.until(`spent().then(s => s.frames > ${before + 10})`).catch(() => { throw new Error(what + ': the demo stopped'); });
    if (await page.evaluate("state != 'running' || getComputedStyle(document.getElementById('note')).display != 'none'"))
        throw new Error(`${what}: the page says "${await page.evaluate(note)}"`);
};
const stands = async page => {
    const before = await frames(page);
    await new Promise(go => setTimeout(go, 300));
    if (await frames(page) != before) throw new Error('it did not pause');
};
// The picture in view; every control on screen, 44 CSS pixels or more,
// and clear of the picture's centre.
async function laidOut(page) {
    const [w, h] = await page.evaluate('[innerWidth, innerHeight]');
    const [cl, ct, cr, cb] = await page.evaluate(rect('canvas')), cx = (cl + cr) / 2, cy = (ct + cb) / 2;
    if (cl < 0 || ct < 0 || cr > w || cb > h) throw new Error(`the picture ${[cl, ct, cr, cb]} is not all in ${w}x${h}`);
    for (const c of ['#pause', '#stop', '#controls .full', '#time', '#link']) {
        const [l, t, r, b] = await page.evaluate(rect(c));
        if (l < 0 || t < 0 || r > w || b > h) throw new Error(`${c} at ${[l, t, r, b]} is not all on the ${w}x${h} screen`);
        if (r - l < 44 || b - t < 44) throw new Error(`${c} is ${r - l}x${b - t}`);
        if (l <= cx && cx <= r && t <= cy && cy <= b) throw new Error(`${c} covers the picture's centre`);
    }
}

const cases = [
    ['a tap shows the controls, laid out for the screen', async page => {
        await tap(page, 'canvas');
        await page.until("document.body.classList.contains('controls')");
        await laidOut(page);
    }],
    ["Full screen, tapped without the browser's, fills the window and goes on; tapped again, leaves", async page => {
        await tap(page, 'canvas');
        await tap(page, '#controls .full');
        await goesOn(page, 'full screen');
        await page.until("document.querySelector('#controls .full').textContent == 'Exit full screen'");
        await tap(page, '#controls .full');
        await page.until("document.querySelector('#controls .full').textContent == 'Full screen'");
        await goesOn(page, 'leaving full screen');
    }],
    ['a double tap goes full screen, and zooms nothing', async page => {
        await tap(page, 'canvas', true);
        await goesOn(page, 'the double tap');
        await page.until("document.querySelector('#controls .full').textContent == 'Exit full screen'");
        if (await page.evaluate('visualViewport.scale') != 1) throw new Error('the page was zoomed');
    }],
    ['Pause stops it, Play goes on, Stop ends it', async page => {
        await tap(page, 'canvas');
        await tap(page, '#pause');
        await stands(page);
        await tap(page, '#pause');
        await goesOn(page, 'play');
        await tap(page, 'canvas');
        await tap(page, '#stop');
        await page.until(`${note} == 'Click or press a key to play again.'`);
    }],
    ['a tap on the timeline goes there', async page => {
        await tap(page, 'canvas');
        await tap(page, '#time');
        await page.until('position > 30000 && position < 45000');
        await goesOn(page, 'the timeline');
    }],
    ["an error of the page's own is one line, and the player goes on", async page => {
        await page.evaluate("setTimeout(() => { throw new Error('thrown on purpose'); })");
        await goesOn(page, 'after the error');
        await page.until("document.body.textContent.includes('thrown on purpose')");
        await tap(page, 'canvas');
        await tap(page, '#pause');
        await stands(page);
        await tap(page, '#pause');
        await goesOn(page, 'play after the error');
    }],
];

async function main() {
    let page;
    try {
        page = await browser.open('chromium', site, { before: [iphone] });
    } catch (e) {
        if (!e.unavailable) throw e;
        console.log(`skipped: chromium cannot be started here: ${e.message}`);
        process.exit(77);
    }
    await page.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
    let failed = 0;
    try {
        for (const [width, height, held] of [[390, 844, 'upright'], [844, 390, 'sideways']]) {
            await page.send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: 3, mobile: true,
                screenOrientation: { type: width < height ? 'portraitPrimary' : 'landscapePrimary', angle: width < height ? 0 : 90 } });
            for (const [name, run] of cases) {
                try {
                    await page.go();
                    await page.until("state == 'ready'", 30000);
                    await tap(page, '#note');
                    await page.until("state == 'running' && spent().then(s => s.frames > 2)");
                    await run(page);
                    console.log(`ok: ${held}: ${name}`);
                } catch (e) {
                    console.log(`FAILED: ${held}: ${name}: ${e.message}`);
                    failed++;
                }
            }
        }
    } finally {
        await page.close();
    }
    process.exit(failed ? 1 : 0);
}

main().catch(e => {
    console.log('FAILED: the page could not be driven: ' + e.message);
    process.exit(1);
});
