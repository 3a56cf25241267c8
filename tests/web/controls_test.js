// The page as a player, in a browser, played normally: a click or a key
// starts the demo, releasing Esc ends it and pressing it alone does not, it
// plays again, F asks for full screen, a tap shows the controls that pause,
// resume and stop it, Space pauses and resumes it with its sound kept to the
// picture, a hidden page pauses, your own media dropped or picked are
// played, each failure shows its own message, a pause in test mode changes
// no frame, and the page that is one file plays from disk, or says what to
// do. Going to a moment: the keys video players use, the timeline, links (bad
// ones too) and the link the controls give; where the page lands, forward,
// back and paused, its canvas is the capture tool's still there at 60 fps
// with the same seed, fire included, from the checkpoints made ahead or
// from the page's own, and with a picture of one's own. And in Chromium, as a 390x844 phone at
// 3 device pixels a CSS pixel, upright and sideways, without full screen for
// elements (as an iPhone): taps on Full screen, Pause, Play and Stop, a
// double tap, a tap on the timeline and an error on purpose each leave the
// player working, the picture in view, the controls on screen, 44 CSS
// pixels or more and clear of the picture's centre. Prints "ok: ...",
// "FAILED: ..." or "skipped: ..." a case; exit status 77 when the engine
// cannot be started here.
//
//   node --experimental-websocket tests/web/controls_test.js ENGINE SITE PICTURE MUSIC ONE_FILE CAPTURE MEDIA
//   (ENGINE: chromium, firefox or webkit; PICTURE, MUSIC: the media's file
//   names; ONE_FILE: the page as one file; CAPTURE: this machine's capture
//   tool, MEDIA the default media; the build passes them)
'use strict';
const browser = require('../../tools/dev/browser.js');
const { execFileSync } = require('child_process');
const fs = require('fs'), os = require('os'), path = require('path');

const [engine, site, picture, music, oneFile, capture, media] = process.argv.slice(2);
const note = "document.getElementById('note').textContent";
const running = "state == 'running' && spent().then(s => s.frames > 2)";
const notRead = name => `The picture ${name} could not be read.`;
const junk = Buffer.from('not a picture, not music: nothing a decoder takes');

// A file dropped on the page, made in the page from the bytes given (base64).
const drop = (page, name, type, bytes) => page.evaluate(`(() => {
    const t = new DataTransfer();
    t.items.add(new File([Uint8Array.from(atob('${bytes.toString('base64')}'), c => c.charCodeAt(0))], '${name}', { type: '${type}' }));
    dispatchEvent(new DragEvent('drop', { dataTransfer: t, cancelable: true }));
})()`);
const said = (page, text) => page.until(`${note} == ${JSON.stringify(text)}`);
// Counts the sound buffers that are not silent as the page starts them, and
// keeps where the last one scheduled ahead puts the sound's clock 0 on the
// audio context's time.
const listen = `window.heard = 0;
    AudioBufferSourceNode.prototype.start = (play => function (when, offset) {
        if (this.buffer.getChannelData(0).some(v => v)) heard++;
        const h = held.find(h => h.buffer == this.buffer);
        if (when > 0 && h) window.zero = when - (offset || 0) - h.first / rate;
        return play.apply(this, arguments);
    })(AudioBufferSourceNode.prototype.start);`;
// How far the picture is ahead of the sound, in ms: the clock of the last
// frame shown against the sound heard as it was shown, by the output's
// timestamp; where that is from the future (WebKitGTK's), by the context's
// time, which moves smoothly there.
const apart = page => page.evaluate(`spent().then(s => (o => s.clock - 1000 * (o.contextTime - zero
    + (s.shown - performance.timeOrigin - o.performanceTime) / 1000))((o => o.performanceTime < performance.now() + 50 ? o
    : { contextTime: audio.currentTime - audio.outputLatency, performanceTime: performance.now() })(audio.getOutputTimestamp())))`);
// The demo's clock stands still, its frames too.
const still = async page => {
    const now = () => page.evaluate("spent().then(s => s.frames + ' ' + s.clock)"), before = await now();
    await new Promise(go => setTimeout(go, 300));
    if (await now() != before) throw new Error('it did not pause');
};
const tap = async (page, selector) => page.tap(...await page.at(selector));
const visible = (page, shown) => page.evaluate(`Object.defineProperty(document, 'hidden', { value: ${!shown}, configurable: true });
    document.dispatchEvent(new Event('visibilitychange'))`);
// In test mode, records the stills the page reports.
const stills = `window.reported = [];
    fetch = (f => (to, o) => (/still/.test(to) && reported.push(o.body), f(to, o)))(fetch);`;

// Sound is heard only through an audio context that runs: where the
// browser keeps every one suspended here, even one made apart from the
// page's after the click (Firefox headless, with no sound device), a case
// of the sound as heard cannot hold.
class Skip extends Error {}
const sounding = async page => {
    const runs = context => page.evaluate(`(c => c.state == 'running' || new Promise(ok => (c.resume(),
        setTimeout(() => ok(c.state == 'running'), 2000))))(${context})`);
    if (!await runs('audio') && !await runs('new AudioContext()'))
        throw new Skip('no audio context runs in this browser here: no sound is heard');
};

// The frames shown so far, and then more than n more.
const frames = page => page.evaluate('spent().then(s => s.frames)');
const moreFrames = async (page, n) => page.until(`spent().then(s => s.frames > ${await frames(page) + n})`);

// Going to moments: where the page stands once it has landed within ms of
// `to`; the native stills of the moments the keys go to, with the default
// picture and with one of the test's own, as the canvas's bytes R, G, B, A;
// and the page's canvas there, reported.
const seed = 11, moments = [30000, 45000, 60000];
const lands = (page, to, ms = 300) => page.until(`position >= ${to} && position < ${to + ms}`, 5000);
// Started by a click and playing; started, and the program has told its
// length, or already ended.
const play = async page => (await page.click(), page.until(running));
const start = async page => (await page.click(), page.until("state != 'ready' && (state != 'running' || length > 0)"));
const temp = what => fs.mkdtempSync(path.join(os.tmpdir(), `vaskiloimu-${what}-`));
const native = temp('moments'), reports = temp('reports'), own = temp('own'), ownStills = temp('own-moments');
const mine = execFileSync('convert', ['-size', '300x200', 'gradient:orange-navy', 'png:-']);
fs.writeFileSync(path.join(own, picture), mine);
fs.copyFileSync(path.join(media, music), path.join(own, music));
for (const [from, to] of [[media, native], [own, ownStills]])
    execFileSync(capture, ['--media', from, '--seed', seed, '--fps', 60, '--still', moments.join(','), '--quiet', '--out-dir', to]);
const want = (dir, t) => execFileSync('convert', [path.join(dir, `still-${String(t).padStart(5, '0')}.png`), '-depth', '8',
    '-alpha', 'opaque', 'rgba:-'], { maxBuffer: 1 << 22 });
const same = dir => async (page, t) => {
    const file = path.join(reports, 'still-' + t);
    for (const end = Date.now() + 5000; !fs.existsSync(file) && Date.now() < end;) await new Promise(go => setTimeout(go, 100));
    if (!fs.existsSync(file) || !fs.readFileSync(file).equals(want(dir, t))) throw new Error(`the canvas at ${t} ms is not the 60 fps run's`);
};

// Presses each key in turn, and waits until check(page, moment) holds.
const pressing = async (page, check, keys) => {
    for (const [key, moment] of keys) await page.press(key), await check(page, moment);
};

// On a phone: the demo goes on, with nothing over it; the picture in view,
// every control on screen, 44 CSS pixels or more and clear of the
// picture's centre.
const iphone = 'delete Element.prototype.requestFullscreen; delete Element.prototype.webkitRequestFullscreen;';
const rect = selector => `(r => [r.left, r.top, r.right, r.bottom])(document.querySelector('${selector}').getBoundingClientRect())`;
const goesOn = async (page, what) => {
    await moreFrames(page, 10).catch(() => { throw new Error(what + ': the demo stopped'); });
    if (await page.evaluate("state != 'running' || getComputedStyle(document.getElementById('note')).display != 'none'"))
        throw new Error(`${what}: the page says "${await page.evaluate(note)}"`);
};
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
const fullLabel = label => `document.querySelector('#controls .full').textContent == '${label}'`;

// Each case from a freshly loaded page; a case fails by throwing.
const cases = [
    ['a click starts the demo with its music, mixed as it is heard, releasing Esc ends it', async page => {
        await play(page);
        await sounding(page);
        await page.until('heard > 0 && audio.currentTime - at > 2');
        const ahead = await page.evaluate('queued / rate - (audio.currentTime - at)');
        if (!(ahead > 0 && ahead < 0.4)) throw new Error(`the sound was mixed ${ahead.toFixed(2)} s ahead of what is heard`);
        await page.press('Escape');
        await said(page, 'Click or press a key to play again.');
    }],
    ['a key starts it, pressing Esc alone does not end it, and it plays again', async page => {
        await page.press('a');
        await page.until(running);
        await page.key('down', 'Escape');
        await moreFrames(page, 10);
        if (await page.evaluate("state != 'running'")) throw new Error('it ended on pressing Esc');
        await page.key('up', 'Escape');
        await said(page, 'Click or press a key to play again.');
        await play(page);
    }],
    ['F asks for full screen', async page => {
        await page.press('f');
        await page.until('document.fullscreenElement != null');
    }],
    ['a tap shows the controls, which hide again, go full screen and stop it', async page => {
        await play(page);
        await tap(page, 'canvas');
        await page.until("getComputedStyle(document.getElementById('controls')).display == 'flex'");
        await page.until("!document.body.classList.contains('controls')", 6000);
        await tap(page, 'canvas');
        await tap(page, '#controls .full');
        // Full screen changes the window's size, and the controls are laid out anew.
        await page.until('document.fullscreenElement != null && new Promise(go => requestAnimationFrame(() => requestAnimationFrame(go))).then(() => true)');
        await tap(page, '#stop');
        await said(page, 'Click or press a key to play again.');
    }],
    ['Space pauses and resumes it, and the sound stays within a frame of the picture', async page => {
        await play(page);
        await sounding(page);
        await page.until('zero && audio.currentTime - at > 1');
        const first = await apart(page);
        for (let i = 0; i < 3; i++) {
            await page.press(' ');
            await still(page);
            await page.press(' ');
            await moreFrames(page, 10);
        }
        const last = await apart(page);
        if (!(Math.abs(first) < 16.7 && Math.abs(last) < 16.7))
            throw new Error(`the picture was ${first.toFixed(1)} ms ahead of the sound, ${last.toFixed(1)} ms after three pauses`);
    }],
    ['hidden, it pauses, and goes on when shown unless the viewer paused it', async page => {
        await play(page);
        await visible(page, false);
        await still(page);
        if (await page.evaluate('playing.size')) throw new Error('its sound went on');
        await visible(page, true);
        await moreFrames(page, 10);
        await page.press(' ');
        await visible(page, false);
        await visible(page, true);
        await still(page);
    }],
    ['in test mode, a pause between two frames changes no frame', async page => {
        await page.go('?fps=20&seed=5&still=8000');
        await page.until("state == 'running' && spent().then(s => s.frames > 3)");
        await page.press(' ');
        await still(page);
        if (await page.evaluate('reported.length')) throw new Error('the pause came too late');
        await page.press(' ');
        await page.until('reported.length == 1');
        await page.press('Escape');
        await page.until("state == 'ended'");
        await page.click();
        await page.until('reported.length == 2');
        if (!await page.evaluate('reported[0].length > 0 && reported[0].every((v, i) => v == reported[1][i])'))
            throw new Error('the paused run gave another frame');
    }, stills],
    ['the page that is one file plays from disk', async page => {
        await page.go(oneFile);
        await said(page, 'Click or press a key to start.');
        await play(page);
    }],
    ['a dropped bad picture is named by its own name, and the page takes another', async page => {
        await drop(page, 'mine.jpg', 'image/jpeg', junk);
        await said(page, 'With mine.jpg: click or press a key to start.');
        await page.click();
        await said(page, notRead('mine.jpg'));
        await drop(page, 'again.jpg', 'image/jpeg', fs.readFileSync(path.join(site, picture)));
        await said(page, 'With again.jpg: click or press a key to start.');
        await play(page);
    }],
    ['picked music that cannot be decoded plays silently', async page => {
        const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vaskiloimu-controls-')), file = path.join(dir, 'mine.ogg');
        fs.writeFileSync(file, junk);
        await page.setFiles('#pick', [file]);
        await said(page, 'With mine.ogg: click or press a key to start.');
        fs.rmSync(dir, { recursive: true });
        await play(page);
        await moreFrames(page, 60);
        if (await page.evaluate('heard')) throw new Error('it was not silent');
    }],
    ...[['with the checkpoints made ahead', null], ['from its own, with no run ahead', browser.noRunAhead]].map(([how, before]) => [
        `the keys land where a 60 fps run is, forward, back and paused, ${how}`, async page => {
            if (!before) await page.until('!ahead && spent().then(s => s.kept > 0)');
            await start(page);
            await pressing(page, same(native), [['6', 45000], ['4', 30000]]);
            await page.press(' ');
            await still(page);
            await pressing(page, same(native), [['8', 60000]]);
            await still(page);
            if (await page.evaluate('position') != 60000) throw new Error('paused, it shows ' + await page.evaluate('position'));
        }, before, null, `?seed=${seed}&still=${moments.join(',')}`]),
    ["with a picture of one's own, the default's checkpoints are not used", async page => {
        await page.until('!ahead && spent().then(s => s.kept > 0)');
        await drop(page, 'mine.png', 'image/png', mine);
        await said(page, 'With mine.png: click or press a key to start.');
        await start(page);
        await pressing(page, same(ownStills), [['6', 45000]]);
    }, null, null, `?seed=${seed}&still=45000`],
    ['→ and ← go 5 s on and back, Home to the start', async page => {
        await start(page);
        await pressing(page, lands, [['Home', 0], ['ArrowRight', 5000]]);
        // Twice: once would land within a moment of the start, not at it.
        await page.press('ArrowLeft');
        await pressing(page, lands, [['ArrowLeft', 0]]);
    }],
    ['the timeline goes where it is clicked', async page => {
        await play(page);
        await page.click();
        await page.until("document.body.classList.contains('controls')");
        await page.click(...await page.at('#time', 0.8));
        await page.until('position > 55000 && position < 65000', 5000);
    }],
    ['a link lands where it says', async page => {
        await start(page);
        await same(native)(page, 45000);
    }, null, null, `?seed=${seed}&still=${moments.join(',')}#t=45`],
    ['a link to a fraction of a second', async page => (await start(page), lands(page, 45500)), null, null, '#t=45.5'],
    ['a link past the end plays the end', async page => {
        await start(page);
        await said(page, 'Click or press a key to play again.');
    }, null, null, '#t=80'],
    ['a link before the start starts at the start', async page => (await start(page), lands(page, 0, 2000)), null, null, '#t=-5'],
    ['a link to no number is no link', async page => (await start(page), lands(page, 0, 2000)), null, null, '#t=soon'],
    ['a new link, the page playing, goes there', async page => {
        await play(page);
        await page.evaluate("location.hash = '#t=30'");
        await lands(page, 30000);
    }],
    ['Link gives a link to the moment shown', async page => {
        await play(page);
        await page.press(' ');
        await page.evaluate("document.getElementById('link').click()");
        const [hash, position] = await page.evaluate('[location.hash, position]');
        if (hash != '#t=' + (position / 1000).toFixed(1)) throw new Error(`${hash} at ${position} ms`);
    }],
];

// Where the page cannot play: what it says, with the page changed first.
for (const [name, text, before, files, address] of [
    ['the page that is one file, where its worker is refused, says what to do', 'This browser does not run the demo ' +
        'from a file: open it in Chromium or Firefox, or from a web server.',
    'Worker = class { constructor() { throw new DOMException("refused", "SecurityError"); } }', null, oneFile],
    ['without WebAssembly the page says so', 'This browser cannot run WebAssembly.', 'delete window.WebAssembly'],
    ['without drawing from a worker the page says so', 'This browser cannot draw from a worker.',
        'delete HTMLCanvasElement.prototype.transferControlToOffscreen'],
    ['missing music is named', `${music} is missing (404).`, null, { [music]: null }],
]) cases.push([name, async page => (address && await page.go(address), said(page, text)), before, files]);

// On a phone, upright and sideways, each case once the demo has started.
const phone = [
    ['a tap shows the controls, laid out for the screen; a tap on the timeline goes there', async page => {
        await tap(page, 'canvas');
        await page.until("document.body.classList.contains('controls')");
        await laidOut(page);
        await tap(page, '#time');
        await page.until('position > 30000 && position < 45000');
        await goesOn(page, 'the timeline');
    }],
    ["Full screen, tapped without the browser's, fills the window and goes on; tapped again, leaves", async page => {
        await tap(page, 'canvas');
        await tap(page, '#controls .full');
        await goesOn(page, 'full screen');
        await page.until(fullLabel('Exit full screen'));
        await tap(page, '#controls .full');
        await page.until(fullLabel('Full screen'));
        await goesOn(page, 'leaving full screen');
    }],
    ['a double tap goes full screen, and zooms nothing', async page => {
        const at = await page.at('canvas');
        await page.tap(...at);
        await page.tap(...at);
        await goesOn(page, 'the double tap');
        await page.until(fullLabel('Exit full screen'));
        if (await page.evaluate('visualViewport.scale') != 1) throw new Error('the page was zoomed');
    }],
    ["an error of the page's own is one line, and the player goes on: Pause stops it, Play goes on, Stop ends it",
        async page => {
        await page.evaluate("setTimeout(() => { throw new Error('thrown on purpose'); })");
        await goesOn(page, 'after the error');
        await page.until("document.body.textContent.includes('thrown on purpose')");
        await tap(page, 'canvas');
        await tap(page, '#pause');
        await still(page);
        await tap(page, '#pause');
        await goesOn(page, 'play after the error');
        await tap(page, 'canvas');
        await tap(page, '#stop');
        await said(page, 'Click or press a key to play again.');
    }],
];
for (const [width, height, held] of engine == 'chromium' ? [[390, 844, 'upright'], [844, 390, 'sideways']] : [])
    for (const [name, run] of phone)
        cases.push([`a phone held ${held}: ${name}`, async page => {
            await tap(page, '#note');
            await page.until(running);
            await run(page);
        }, iphone, null, '', [width, height]]);

async function main() {
    let page;
    try {
        page = await browser.open(engine, site, { before: [listen], reports });
    } catch (e) {
        if (!e.unavailable) throw e;
        console.log(`skipped: ${engine} cannot be started here: ${e.message}`);
        process.exit(77);
    }
    console.log(page.version);
    const count = { passed: 0, failed: 0, skipped: 0 };
    try {
        for (const [i, [name, run, before, files, query = '', screen]] of cases.entries()) {
            page.before.splice(1, 1, ...before ? [before] : []);
            Object.assign(page.files, files);
            for (const f of fs.readdirSync(reports)) fs.rmSync(path.join(reports, f));
            try {
                if (engine == 'chromium' && screen) {
                    await page.send('Emulation.setDeviceMetricsOverride', { width: screen[0], height: screen[1],
                        deviceScaleFactor: 3, mobile: true, screenOrientation: screen[0] < screen[1]
                            ? { type: 'portraitPrimary', angle: 0 } : { type: 'landscapePrimary', angle: 90 } });
                } else if (engine == 'chromium') {
                    await page.send('Emulation.clearDeviceMetricsOverride');
                }
                // A new address each time: one that differs in its #t alone
                // would not load the page again.
                await page.go(`?case=${i}` + (query[0] == '?' ? '&' + query.slice(1) : query));
                await page.until("state != 'loading'");
                await run(page);
                console.log('ok: ' + name);
                count.passed++;
            } catch (e) {
                const skip = e instanceof Skip;
                console.log(`${skip ? 'skipped' : 'FAILED'}: ${name}: ${e.message}`);
                count[skip ? 'skipped' : 'failed']++;
            }
            for (const f in files) delete page.files[f];
        }
    } finally {
        await page.close();
        for (const dir of [native, reports, own, ownStills]) fs.rmSync(dir, { recursive: true, force: true });
    }
    console.log(`${count.passed} passed, ${count.failed} failed, ${count.skipped} skipped`);
    process.exit(count.failed ? 1 : 0);
}

main().catch(e => {
    console.log('FAILED: the page could not be driven: ' + e.message);
    process.exit(1);
});
