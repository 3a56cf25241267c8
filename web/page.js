// The page's script, on its main thread. The demo runs in a worker
// (worker.js) that draws into the canvas, so that its frames take none of
// this thread's time; the page plays its sound, passes it Esc, pauses and
// your own media, and shows messages and its controls. The page that is one
// file (vaskiloimu.html) carries the worker, the program and the media in
// `bundled`, the worker as text with the program before it.
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
const one = self.bundled;
let state = 'loading', media, audio, worker, size = [canvas.width, canvas.height];
const playing = new Set(), sent = [], asked = [];

function say(text) {
    note.textContent = text;
    note.style.display = text ? 'flex' : 'none';
    document.body.classList.toggle('running', state == 'running');
    if (state != 'running') document.body.classList.remove('controls');
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
for (const b of document.querySelectorAll('.full')) b.addEventListener('click', fullScreen);
canvas.addEventListener('dblclick', fullScreen);

// While the demo runs, a tap or a click shows its controls for a few
// seconds, and the pointer with them; paused, they stay. Pausing holds the
// demo's clock and its sound together (see resumed below); a page that is
// hidden pauses, and goes on when shown again unless the viewer paused it.
// paused: null, 'viewer' or 'hidden'. Stopping is as releasing Esc.
let paused = null, stopping = false, hiding;
const pauseButton = document.getElementById('pause');
function showControls() {
    document.body.classList.add('controls');
    clearTimeout(hiding);
    hiding = setTimeout(() => paused || document.body.classList.remove('controls'), 3000);
}
addEventListener('click', e => state == 'running' && e.target != note && showControls());
function pause(by) {
    if (state != 'running' || paused || stopping) return;
    paused = by;
    silence();
    worker.postMessage({ pause: true });
    pauseButton.textContent = 'Play';
    if (by == 'viewer') showControls();
}
function resume() {
    if (!paused || stopping) return;
    paused = null;
    worker.postMessage({ resume: true });
    pauseButton.textContent = 'Pause';
    showControls();
}
function stop() {
    if (state != 'running' || stopping) return;
    stopping = true;
    silence();
    worker.postMessage({ escape: true });
}
pauseButton.addEventListener('click', () => paused ? resume() : pause('viewer'));
document.getElementById('stop').addEventListener('click', stop);
document.addEventListener('visibilitychange', () => document.hidden ? pause('hidden') : paused == 'hidden' && resume());

// Your own media, dropped on the page or picked, replace the default ones
// from the next start on: a picture, music, or both. They are read here and
// handed to the program as its files; nothing leaves the page. As natively,
// a picture that cannot be read ends the demo with its message, and music
// that cannot be decoded leaves it silent.
const pick = document.getElementById('pick');
document.getElementById('own').addEventListener('click', () => pick.click());
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

// Browsers let a page make sound only after a click or a key. Space pauses
// and resumes the demo as it runs, as in video players.
note.addEventListener('click', start);
addEventListener('keydown', e => {
    if (e.key == 'f' || e.key == 'F') fullScreen();
    else if (e.key == ' ' && state == 'running') {
        e.preventDefault();
        if (!e.repeat) paused ? resume() : pause('viewer');
    } else if (e.key != 'Escape' && !e.repeat) start();
});
// As in the demo itself, releasing Esc ends it. Space let go on a button
// would press it too.
addEventListener('keyup', e => {
    if (e.key == 'Escape') stop();
    if (e.key == ' ') e.preventDefault();
});

async function load() {
    if (typeof WebAssembly != 'object') throw 'This browser cannot run WebAssembly.';
    if (!canvas.transferControlToOffscreen) throw 'This browser cannot draw from a worker.';
    // Browsers that run no worker made by a page opened from a file fail here
    // or at once after.
    const fromFile = 'This browser does not run the demo from a file: open it in Chromium or Firefox, or from a web server.';
    try {
        worker = new Worker(one ? URL.createObjectURL(new Blob([one.worker], { type: 'text/javascript' })) : 'worker.js');
    } catch (e) {
        throw one ? fromFile : 'The demo could not start: ' + e.message;
    }
    const started = new Promise((ok, no) => {
        worker.onmessage = e => e.data.ready ? ok() : no(e.data.error);
        worker.onerror = e => no(one ? fromFile : 'The demo could not start: ' + (e.message || 'worker.js is missing.'));
    });
    const get = async name => {
        if (one) return Uint8Array.from(atob(one.files[name]), c => c.charCodeAt(0));
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
// clock, the frames received since, those received that may not have been
// heard yet (each { first: its first frame, buffer }), and in test mode
// what was received.
let rate, at = 0, queued = 0, held = [], record = [];
function start() {
    if (state != 'ready' && state != 'ended') return;
    state = 'running';
    paused = null;
    stopping = false;
    pauseButton.textContent = 'Pause';
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
        at = heardAt(data.zero);
        queued = 0;
        held = [];
        record = [];
    }
    // The demo's clock goes on where it stood: the sound's clock 0 is placed
    // anew from it, as at the start, so that no pause can move the two
    // apart, and what was held and not heard plays from there.
    if (data.resumed) {
        at = heardAt(data.resumed);
        if (!paused && !stopping) held.forEach(play);
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
            const heard = h => at + (h.first + h.buffer.length) / rate < audio.currentTime;
            if (!paused) while (held.length && heard(held[0])) held.shift();
            held.push({ first: queued, buffer: b });
            if (!paused && !stopping) play(held[held.length - 1]);
        }
        queued += n;
    }
    if ('ended' in data) {
        const status = data.ended;
        silence();
        paused = null;
        stopping = false;
        if (status == 0) {
            state = 'ended';
            say('Click or press a key to play again.');
        } else if (status == 2) {
            // Another picture may do: the page stays ready for it.
            fail('The picture ' + (own[0] || IMAGE) + ' could not be read.');
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

// The audio context's time that is heard at the given moment of the page's
// time line (performance.timeOrigin + performance.now()). The output's
// timestamp holds the output's latency and is exact; currentTime moves in
// steps of tens of milliseconds, and serves where there is no timestamp,
// or one from the future: WebKitGTK's is ahead of the page's time by as
// long as the context has run, and placed every buffer too late to play.
function heardAt(moment) {
    const o = audio.getOutputTimestamp ? audio.getOutputTimestamp() : {};
    const ms = moment - performance.timeOrigin;
    const timed = o.performanceTime && o.performanceTime < performance.now() + 50;
    return timed ? o.contextTime + (ms - o.performanceTime) / 1000
        : audio.currentTime - (audio.outputLatency || 0) + (ms - performance.now()) / 1000;
}

// Sound held from its first frame on, at its place on the sound's clock;
// what comes late is cut, so the sound keeps to the clock.
function play({ first, buffer }) {
    const when = at + first / rate, late = audio.currentTime - when;
    if (late >= buffer.duration) return;
    const src = audio.createBufferSource();
    src.buffer = buffer;
    src.connect(audio.destination);
    src.onended = () => playing.delete(src);
    if (late <= 0) src.start(when);
    else src.start(0, late);
    playing.add(src);
}
function silence() {
    for (const src of playing) src.stop();
    playing.clear();
}

// For the benchmark and the tests: milliseconds spent so far in each part
// of the demo's frames, frames shown, and the last one's clock from the
// sound's start and when it was shown, as the worker times them.
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
