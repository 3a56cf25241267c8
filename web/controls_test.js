// The page's controls in headless Chromium, played normally: a click or a
// key starts the demo, releasing Esc ends it and pressing it alone does not,
// it plays again, F asks for full screen, your own media dropped or picked
// are played, and each failure shows its own message. Prints "ok: ..." or
// "FAILED: ..." a check.
//
//   node web/controls_test.js SITE PICTURE MUSIC
//   (PICTURE, MUSIC: the media's file names; the build passes them)
'use strict';
const chromium = require('./chromium.js');
const fs = require('fs'), os = require('os'), path = require('path');

const [site, picture, music] = process.argv.slice(2);
const note = "document.getElementById('note').textContent";
const running = "state == 'running' && spent().then(s => s.frames > 2)";
const notRead = `The picture ${picture} could not be read.`;
const junk = Buffer.from('not a picture, not music: nothing a decoder takes');

// Keys as the protocol sends them: the key, its code and its key code.
const keys = { Escape: ['Escape', 27], a: ['KeyA', 65], f: ['KeyF', 70] };
const key = (page, type, name) => page.send('Input.dispatchKeyEvent',
    { type, key: name, code: keys[name][0], windowsVirtualKeyCode: keys[name][1] });
const press = async (page, name) => { await key(page, 'keyDown', name); await key(page, 'keyUp', name); };
// A file dropped on the page, made in the page from the bytes given (base64).
const drop = (page, name, type, bytes) => page.evaluate(`(() => {
    const t = new DataTransfer();
    t.items.add(new File([Uint8Array.from(atob('${bytes.toString('base64')}'), c => c.charCodeAt(0))], '${name}', { type: '${type}' }));
    dispatchEvent(new DragEvent('drop', { dataTransfer: t, cancelable: true }));
})()`);
const said = (page, text) => page.until(`${note} == ${JSON.stringify(text)}`);
// Counts the sound buffers that are not silent as the page starts them.
const listen = `window.heard = 0;
    AudioBufferSourceNode.prototype.start = (play => function (...args) {
        if (this.buffer.getChannelData(0).some(v => v)) heard++;
        return play.apply(this, args);
    })(AudioBufferSourceNode.prototype.start);`;

// The frames shown so far, and then more than n more.
const frames = page => page.evaluate('spent().then(s => s.frames)');
const moreFrames = async (page, n) => page.until(`spent().then(s => s.frames > ${await frames(page) + n})`);

// Each case from a freshly loaded page; a case fails by throwing.
const cases = [
    ['a click starts the demo with its music, mixed as it is heard, releasing Esc ends it', async page => {
        await page.click();
        await page.until(running);
        await page.until('heard > 0 && audio.currentTime - at > 2');
        const ahead = await page.evaluate('queued / rate - (audio.currentTime - at)');
        if (!(ahead > 0 && ahead < 0.4)) throw new Error(`the sound was mixed ${ahead.toFixed(2)} s ahead of what is heard`);
        await press(page, 'Escape');
        await said(page, 'Click or press a key to play again.');
    }],
    ['a key starts it, pressing Esc alone does not end it, and it plays again', async page => {
        await press(page, 'a');
        await page.until(running);
        await key(page, 'keyDown', 'Escape');
        await moreFrames(page, 10);
        if (await page.evaluate("state != 'running'")) throw new Error('it ended on pressing Esc');
        await key(page, 'keyUp', 'Escape');
        await said(page, 'Click or press a key to play again.');
        await page.click();
        await page.until(running);
    }],
    ['F asks for full screen', async page => {
        await press(page, 'f');
        await page.until('document.fullscreenElement != null');
    }],
    ['without WebAssembly the page says so', async page => {
        await said(page, 'This browser cannot run WebAssembly.');
    }, 'delete window.WebAssembly'],
    ['without drawing from a worker the page says so', async page => {
        await said(page, 'This browser cannot draw from a worker.');
    }, 'delete HTMLCanvasElement.prototype.transferControlToOffscreen'],
    ['missing music is named', async page => {
        await said(page, `${music} is missing (404).`);
    }, null, { [music]: null }],
    ['a dropped bad picture gives the same message, and the page takes another', async page => {
        await drop(page, 'mine.jpg', 'image/jpeg', junk);
        await said(page, 'With mine.jpg: click or press a key to start.');
        await page.click();
        await said(page, notRead);
        await drop(page, 'again.jpg', 'image/jpeg', fs.readFileSync(path.join(site, picture)));
        await said(page, 'With again.jpg: click or press a key to start.');
        await page.click();
        await page.until(running);
    }],
    ['picked music that cannot be decoded plays silently', async page => {
        const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vaskiloimu-controls-')), file = path.join(dir, 'mine.ogg');
        fs.writeFileSync(file, junk);
        const { root } = await page.send('DOM.getDocument');
        const { nodeId } = await page.send('DOM.querySelector', { nodeId: root.nodeId, selector: '#pick' });
        await page.send('DOM.setFileInputFiles', { nodeId, files: [file] });
        await said(page, 'With mine.ogg: click or press a key to start.');
        fs.rmSync(dir, { recursive: true });
        await page.click();
        await page.until(running);
        await moreFrames(page, 60);
        if (await page.evaluate('heard')) throw new Error('it was not silent');
    }],
];

async function main() {
    const page = await chromium.open(site);
    await page.send('Page.addScriptToEvaluateOnNewDocument', { source: listen });
    let failed = 0;
    try {
        for (const [name, run, before, files] of cases) {
            const script = before && (await page.send('Page.addScriptToEvaluateOnNewDocument', { source: before })).identifier;
            Object.assign(page.files, files);
            try {
                await page.go();
                await page.until("state != 'loading'");
                await run(page);
                console.log('ok: ' + name);
            } catch (e) {
                console.log(`FAILED: ${name}: ${e.message}`);
                failed++;
            }
            if (script) await page.send('Page.removeScriptToEvaluateOnNewDocument', { identifier: script });
            for (const f in files) delete page.files[f];
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
