// The page's controls in a browser, played normally: a click or a
// key starts the demo, releasing Esc ends it and pressing it alone does not,
// it plays again, F asks for full screen, a tap shows the controls that
// pause, resume and stop it, Space pauses and resumes it with its sound kept
// to the picture, a hidden page pauses, your own media dropped or picked
// are played, each failure shows its own message, a pause in test mode
// changes no frame, and the page that is one file plays from disk, or says
// what to do. Prints "ok: ...", "FAILED: ..." or "skipped: ..." a case;
// exit status 77 when the engine cannot be started here.
//
//   node --experimental-websocket web/controls_test.js ENGINE SITE PICTURE MUSIC ONE_FILE
//   (ENGINE: chromium, firefox or webkit; PICTURE, MUSIC: the media's file
//   names; ONE_FILE: the page as one file; the build passes them)
'use strict';
const browser = require('../../tools/dev/browser.js');
const fs = require('fs'), os = require('os'), path = require('path');

const [engine, site, picture, music, oneFile] = process.argv.slice(2);
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

// Each case from a freshly loaded page; a case fails by throwing.
const cases = [
    ['a click starts the demo with its music, mixed as it is heard, releasing Esc ends it', async page => {
        await page.click();
        await page.until(running);
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
        await page.click();
        await page.until(running);
    }],
    ['F asks for full screen', async page => {
        await page.press('f');
        await page.until('document.fullscreenElement != null');
    }],
    ['a tap shows the controls, which pause, resume, go full screen and stop it, and hide again', async page => {
        await page.click();
        await page.until(running);
        await tap(page, 'canvas');
        await page.until("getComputedStyle(document.getElementById('controls')).display == 'flex'");
        await tap(page, '#pause');
        await still(page);
        await tap(page, '#pause');
        await moreFrames(page, 10);
        await page.until("!document.body.classList.contains('controls')", 6000);
        await tap(page, 'canvas');
        await tap(page, '#controls .full');
        // Full screen changes the window's size, and the controls are laid out anew.
        await page.until('document.fullscreenElement != null && new Promise(go => requestAnimationFrame(() => requestAnimationFrame(go))).then(() => true)');
        await tap(page, '#stop');
        await said(page, 'Click or press a key to play again.');
    }],
    ['Space pauses and resumes it, and the sound stays within a frame of the picture', async page => {
        await page.click();
        await page.until(running);
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
        await page.click();
        await page.until(running);
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
        await page.click();
        await page.until(running);
    }],
    ['the page that is one file, where its worker is refused, says what to do', async page => {
        await page.go(oneFile);
        await said(page, 'This browser does not run the demo from a file: open it in Chromium or Firefox, or from a web server.');
    }, 'Worker = class { constructor() { throw new DOMException("refused", "SecurityError"); } }'],
    ['without WebAssembly the page says so', async page => {
        await said(page, 'This browser cannot run WebAssembly.');
    }, 'delete window.WebAssembly'],
    ['without drawing from a worker the page says so', async page => {
        await said(page, 'This browser cannot draw from a worker.');
    }, 'delete HTMLCanvasElement.prototype.transferControlToOffscreen'],
    ['missing music is named', async page => {
        await said(page, `${music} is missing (404).`);
    }, null, { [music]: null }],
    ['a dropped bad picture is named by its own name, and the page takes another', async page => {
        await drop(page, 'mine.jpg', 'image/jpeg', junk);
        await said(page, 'With mine.jpg: click or press a key to start.');
        await page.click();
        await said(page, notRead('mine.jpg'));
        await drop(page, 'again.jpg', 'image/jpeg', fs.readFileSync(path.join(site, picture)));
        await said(page, 'With again.jpg: click or press a key to start.');
        await page.click();
        await page.until(running);
    }],
    ['picked music that cannot be decoded plays silently', async page => {
        const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vaskiloimu-controls-')), file = path.join(dir, 'mine.ogg');
        fs.writeFileSync(file, junk);
        await page.setFiles('#pick', [file]);
        await said(page, 'With mine.ogg: click or press a key to start.');
        fs.rmSync(dir, { recursive: true });
        await page.click();
        await page.until(running);
        await moreFrames(page, 60);
        if (await page.evaluate('heard')) throw new Error('it was not silent');
    }],
];

async function main() {
    let page;
    try {
        page = await browser.open(engine, site, { before: [listen] });
    } catch (e) {
        if (!e.unavailable) throw e;
        console.log(`skipped: ${engine} cannot be started here: ${e.message}`);
        process.exit(77);
    }
    console.log(page.version);
    const count = { passed: 0, failed: 0, skipped: 0 };
    try {
        for (const [name, run, before, files] of cases) {
            page.before.splice(1, 1, ...before ? [before] : []);
            Object.assign(page.files, files);
            try {
                await page.go();
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
    }
    console.log(`${count.passed} passed, ${count.failed} failed, ${count.skipped} skipped`);
    process.exit(count.failed ? 1 : 0);
}

main().catch(e => {
    console.log('FAILED: the page could not be driven: ' + e.message);
    process.exit(1);
});
