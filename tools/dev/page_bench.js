// The page's benchmark: the demo played normally in headless Chromium after
// a click, from its start, and for each stretch of the given length the frame
// rate; the page's main thread's busy time per frame (the DevTools protocol's
// Performance.getMetrics TaskDuration) and the processor time it was given in
// that while (ThreadTime: less than busy when other work takes the cores);
// and the time the demo's worker spent per frame, from each wake-up to the
// next wait, with what the program's parts took of it (rest: the remainder:
// handing over the frame and the sound, and the program's own steps).
// Then, on a fresh start, how long the page takes to land on a moment: from
// the viewer's asking (goTo) to the worker's word that the frame there is
// shown, after a second of play, first at 74 s, then at moments already
// passed, back and forth: with the fire's checkpoints made ahead by the
// page's second worker (and how long it took them, from its start as the
// page was ready), and with no run ahead, where the first landing replays
// the whole fire itself. It prints figures; it fails only when there is
// nothing to time: no frames, no busy time, or no landing.
//
//   node tools/dev/page_bench.js TIMED [SECONDS [STRETCH]]
//   (TIMED: the web build's timed/ folder, the page with its parts timed;
//   SECONDS of play, 75 by default: the whole demo)
'use strict';
const browser = require('./browser.js');

const [site, seconds = 75, stretch = 10] = [process.argv[2], +process.argv[3] || undefined, +process.argv[4] || undefined];
if (!site) {
    console.error('usage: page_bench.js TIMED [SECONDS [STRETCH]]');
    process.exit(2);
}
const parts = ['pattern', 'overlay', 'steps', 'blit'];

async function sample(page) {
    const { metrics } = await page.send('Performance.getMetrics');
    const s = await page.evaluate('spent()');
    s.demo = s.frame;
    const metric = name => 1000 * metrics.find(m => m.name == name).value;
    s.busy = metric('TaskDuration');
    s.cpu = metric('ThreadTime');
    s.at = performance.now();
    return s;
}

// Moments to land on after the first, at 74 s: all passed on the way there.
const moments = [30000, 45000, 60000, 20000, 73000, 10000, 50000, 35000, 65000, 5000];
// The page's second worker, which makes the checkpoints ahead, timed from
// its start to its end.
const timeAhead = `Worker = (W => { let made = 0; return function (url) {
    const w = new W(url), from = performance.now();
    if (made++) w.addEventListener('message', e => 'ended' in e.data && (window.aheadTook = performance.now() - from));
    return w; }; })(Worker);`;

async function landings(page, ahead) {
    page.before.splice(0, page.before.length, ahead ? timeAhead : browser.noRunAhead);
    await page.go();
    await page.until("state == 'ready'", 30000);
    await page.click();
    // A second of play first, as a viewer watches before going elsewhere, in
    // which the browser has compiled the program fully.
    await page.until("state == 'running' && spent().then(s => s.frames > 60)");
    // The worker's word that the frame asked for is shown.
    await page.evaluate(`window.landed = []; (on => worker.onmessage = e => {
        if ('at' in e.data && window.wanted && e.data.at == wanted.to) landed.push(performance.now() - wanted.at), window.wanted = null;
        on(e);
    })(worker.onmessage)`);
    const ms = [];
    for (const to of [74000, ...moments]) {
        await page.evaluate(`window.wanted = { to: ${to}, at: performance.now() }; goTo(${to})`);
        await page.until('!window.wanted', 5000);
        ms.push(await page.evaluate('landed[landed.length - 1]'));
        await new Promise(go => setTimeout(go, 200));
    }
    if (process.env.EACH) console.log([74000, ...moments].map((t, i) => t + ': ' + ms[i].toFixed(1)).join(', '));
    const passed = ms.slice(1).sort((a, b) => a - b);
    const made = ahead ? `checkpoints made ahead in ${(await page.evaluate('window.aheadTook || NaN')).toFixed(0)} ms` : 'no run ahead';
    const kept = (await page.evaluate('spent()')).kept / 2 ** 20;
    console.log(`landing, ms from asking to the frame shown, ${made}: first at 74 s ${ms[0].toFixed(1)}; ` +
        `at ${passed.length} moments passed, typical (median) ${passed[passed.length >> 1].toFixed(1)}, ` +
        `worst ${passed[passed.length - 1].toFixed(1)}; checkpoints held ${kept.toFixed(1)} MB`);
}

async function main() {
    const page = await browser.open('chromium', site);
    let failed = false;
    try {
        await page.until("state == 'ready'", 30000);
        await page.send('Performance.enable');
        await page.click();
        await page.until('spent().then(s => s.frames > 0)');
        console.log(`${page.version}, headless; the demo played normally for ${seconds} s after a click`);
        console.log('ms per frame:', ' '.repeat(3), 'main thread', ' '.repeat(3), "the demo's worker, and the parts timed in it");
        const head = ['from s', 'fps', 'busy', 'cpu', 'demo', ...parts, 'rest'];
        console.log(head.map(h => h.padStart(9)).join(''));
        let from = await sample(page), total = null;
        for (let t = 0; t < seconds; t += stretch) {
            const wait = Math.min(stretch, seconds - t);
            await new Promise(go => setTimeout(go, 1000 * wait));
            const to = await sample(page), frames = to.frames - from.frames;
            const per = k => frames > 0 ? (to[k] - from[k]) / frames : 0;
            const busy = per('busy'), demo = per('demo'), timed = parts.map(per);
            const row = [t, 1000 * frames / (to.at - from.at), busy, per('cpu'), demo, ...timed,
                demo - timed.reduce((a, b) => a + b)];
            console.log(row.map((v, i) => (i ? v.toFixed(i == 1 ? 1 : 2) : String(v)).padStart(9)).join(''));
            if (frames <= 0 || busy <= 0 || per('pattern') <= 0) failed = true;
            total = total || from;
            from = to;
            if (await page.evaluate("state != 'running'")) break;
        }
        const frames = from.frames - total.frames;
        console.log(`over all: ${(1000 * frames / (from.at - total.at)).toFixed(1)} frames/s, ` +
            `${((from.busy - total.busy) / frames).toFixed(2)} ms of the main thread per frame, ` +
            `${((from.cpu - total.cpu) / frames).toFixed(2)} ms of processor time; ` +
            `the demo's worker ${((from.demo - total.demo) / frames).toFixed(2)} ms per frame`);
        await landings(page, true);
        await landings(page, false);
    } finally {
        await page.close();
    }
    if (failed) {
        console.error('page_bench.js: a stretch had no frames or no time');
        process.exit(1);
    }
}

main().catch(e => {
    console.error('page_bench.js: ' + e.message);
    process.exit(1);
});
