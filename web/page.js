// The page's script, on its main thread. The demo runs in a worker
// (worker.js) that draws into the canvas, so that its frames take none of
// this thread's time; the page plays its sound, passes it Esc and your own
// media, and shows messages.
// Test mode: ?fps=N&seed=S&still=T1,T2 runs on a scripted clock, frame n at
// n*1000/N ms, srand seeded with S, and sends the canvas at those clock
// values, the sound as played and the end status back to the server.
'use strict';
const q = new URLSearchParams(location.search);
const fps = +q.get('fps') || 0, seed = +q.get('seed') || 0;
const stills = (q.get('still') || '').split(',').filter(Boolean).map(Number);
// The program's media, by the names it opens them by (the build fills them in).
const IMAGE = '@IMAGE_FILE@', MUSIC = '@MUSIC_FILE@';

const canvas = document.getElementById('screen'), note = document.getElementById('note');
let state = 'loading', media, audio, worker, size = [canvas.width, canvas.height];
const playing = new Set(), sent = [], asked = [];

function say(text) {
    note.textContent = text;
    note.style.display = text ? 'flex' : 'none';
    document.body.className = state == 'running' ? 'running' : '';
}
function report(name, body) {
    if (fps) sent.push(fetch('/report/' + name, { method: 'POST', body }));
}
function fail(text) {
    state = 'failed';
    say(text);
    report('fail', text);
}
addEventListener('error', e => fail('Error: ' + e.message));

// The whole picture, as large as the window allows, centred on black.
function fit() {
    const k = Math.min(innerWidth / size[0], innerHeight / size[1]);
    const w = Math.floor(size[0] * k), h = Math.floor(size[1] * k);
    Object.assign(canvas.style, { width: w + 'px', height: h + 'px',
        left: (innerWidth - w >> 1) + 'px', top: (innerHeight - h >> 1) + 'px' });
}
addEventListener('resize', fit);
fit();

function fullScreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen().catch(() => {});
}
document.getElementById('full').addEventListener('click', e => { e.stopPropagation(); fullScreen(); });
canvas.addEventListener('dblclick', fullScreen);

// Your own media, dropped on the page or picked, replace the default ones
// from the next start on: a picture, music, or both. They are read here and
// handed to the program as its files; nothing leaves the page. As natively,
// a picture that cannot be read ends the demo with its message, and music
// that cannot be decoded leaves it silent.
const pick = document.getElementById('pick');
document.getElementById('own').addEventListener('click', e => { e.stopPropagation(); pick.click(); });
pick.addEventListener('change', () => use(pick.files));
addEventListener('dragover', e => e.preventDefault());
addEventListener('drop', e => { e.preventDefault(); use(e.dataTransfer.files); });
const own = [];
async function use(files) {
    if (!media) return;
    for (const f of files) {
        const music = /^audio\/|\/ogg$/.test(f.type) || /\.og[ga]$/i.test(f.name);
        media[music ? MUSIC : IMAGE] = new Uint8Array(await f.arrayBuffer());
        own[music ? 1 : 0] = f.name;
    }
    if (state == 'ready' || state == 'ended')
        say(`With ${own.filter(Boolean).join(' and ')}: click or press a key to start.`);
}

// Browsers let a page make sound only after a click or a key.
note.addEventListener('click', start);
addEventListener('keydown', e => {
    if (e.key == 'f' || e.key == 'F') fullScreen();
    else if (e.key != 'Escape' && !e.repeat) start();
});
// As in the demo itself, releasing Esc ends it.
addEventListener('keyup', e => { if (e.key == 'Escape' && state == 'running') worker.postMessage({ escape: true }); });

async function load() {
    if (typeof WebAssembly != 'object') throw 'This browser cannot run WebAssembly.';
    if (!canvas.transferControlToOffscreen) throw 'This browser cannot draw from a worker.';
    worker = new Worker('worker.js');
    const started = new Promise((ok, no) => {
        worker.onmessage = e => e.data.ready ? ok() : no(e.data.error);
        worker.onerror = e => no('The demo could not start: ' + (e.message || 'worker.js is missing.'));
    });
    const get = async name => {
        const r = await fetch(name);
        if (!r.ok) throw name + ' is missing (' + r.status + ').';
        return new Uint8Array(await r.arrayBuffer());
    };
    const files = { [IMAGE]: await get(IMAGE), [MUSIC]: await get(MUSIC) };
    await started;
    const offscreen = canvas.transferControlToOffscreen();
    worker.postMessage({ canvas: offscreen }, [offscreen]);
    worker.onmessage = fromWorker;
    worker.onerror = e => fail('Error: ' + e.message);
    return files;
}

// The sound: its sample frames a second, its clock 0 on the audio context's
// clock, the frames received since, and in test mode what was received.
let rate, at = 0, queued = 0, record = [];
function start() {
    if (state != 'ready' && state != 'ended') return;
    state = 'running';
    say('');
    // At the rate the demo mixes at, so that the browser plays its buffers
    // as they are; made here, since sound may start only on a click or a key.
    audio = audio || new AudioContext({ sampleRate: 48000 });
    audio.resume();
    worker.postMessage({ start: { files: media, fps, seed, stills } });
}

// What the worker says.
function fromWorker({ data }) {
    if (data.size) {
        size = data.size;
        fit();
    }
    if (data.spent) asked.shift()(data.spent);
    if (data.still) report('still-' + data.still[0], data.still[1]);
    if (data.error) fail(data.error);
    if (data.audioStart) {
        rate = data.audioStart;
        at = audio.currentTime + 0.05;
        queued = 0;
        record = [];
    }
    if (data.audio) {
        const s = data.audio, n = s.length / 2, b = audio.createBuffer(2, n, rate);
        const l = b.getChannelData(0), r = b.getChannelData(1);
        for (let i = 0; i < n; i++) {
            l[i] = s[2 * i] / 32768;
            r[i] = s[2 * i + 1] / 32768;
        }
        if (fps) {
            const back = new Int16Array(2 * n);
            for (let i = 0; i < n; i++) {
                back[2 * i] = Math.round(l[i] * 32768);
                back[2 * i + 1] = Math.round(r[i] * 32768);
            }
            record.push(back);
        } else {
            // What comes late is cut, so the sound keeps to the clock.
            const src = audio.createBufferSource(), when = at + queued / rate;
            const late = audio.currentTime - when;
            src.buffer = b;
            src.connect(audio.destination);
            src.onended = () => playing.delete(src);
            if (late <= 0) src.start(when);
            else if (late < n / rate) src.start(0, late);
            playing.add(src);
        }
        queued += n;
    }
    if ('ended' in data) {
        const status = data.ended;
        for (const src of playing) src.stop();
        playing.clear();
        if (status == 0) {
            state = 'ended';
            say('Click or press a key to play again.');
        } else if (status == 2) {
            // Another picture may do: the page stays ready for it.
            fail('The picture ' + IMAGE + ' could not be read.');
            state = 'ended';
        } else {
            fail('The demo could not set its screen.');
        }
        if (fps) {
            report('audio', new Blob(record));
            Promise.all(sent).then(() => fetch('/report/done', { method: 'POST', body: String(status) }));
        }
    }
}

// For the benchmark and the tests: milliseconds spent so far in each part
// of the demo's frames, and frames shown, as the worker times them.
function spent() {
    return new Promise(ok => {
        asked.push(ok);
        worker.postMessage({ spent: true });
    });
}

load().then(m => {
    media = m;
    state = 'ready';
    say('Click or press a key to start.');
    if (fps) start();
}, e => fail(String(e)));
