// The page's script, on its main thread. The demo runs in a worker
// (worker.js) that draws into the canvas, so that its frames take none of
// this thread's time; the page plays its sound, passes it Esc, pauses and
// your own media, and shows messages and its controls. The page that is one
// file (vaskiloimu.html) carries the worker, the program and the media in
// `bundled`, the worker as text with the program before it.
// Played normally, the demo is the run at 60 frames a second, which the
// timeline, the keys and a link (#t=SECONDS) send to any moment. Its fire is
// seeded once a page, with the time as the page opens, so that a second
// worker can make the fire's checkpoints ahead of the viewer.
// Test mode: ?fps=N&seed=S&from=MS&still=T1,T2 runs on a scripted clock,
// frame n at n*1000/N ms, srand seeded with S, shown from MS on, and sends
// the canvas at those clock values, the sound as played and the end status
// back to the server; it ends after the last still. ?seed=S&still=T1,T2
// plays normally, seeded with S, and sends the canvas whenever a frame at
// one of those moments is shown: where the timeline or a link lands.
'use strict';
const q = new URLSearchParams(location.search);
const fps = +q.get('fps') || 0, seed = +q.get('seed') || Date.now() / 1000 >>> 0, from = +q.get('from') || 0;
const stills = (q.get('still') || '').split(',').filter(Boolean).map(Number);
// A link's moment in ms, #t=SECONDS as media fragments write it, from 0 on
// (the program takes a later one than its end as its end); null for
// anything else.
function linked() {
    const m = /^#t=(?:npt:)?([-+]?(?:\d+\.?\d*|\.\d+))(?:,.*)?$/.exec(location.hash);
    return m ? Math.max(Math.round(+m[1] * 1000), 0) : null;
}
// The program's media, by the names it opens them by (the build fills them in).
const IMAGE = '@IMAGE_FILE@', MUSIC = '@MUSIC_FILE@';

const canvas = document.getElementById('screen'), note = document.getElementById('note');
const line = document.getElementById('line'), controls = document.getElementById('controls');
const one = self.bundled;
// The demo's length, which the program tells as it starts, and the moment shown.
let state = 'loading', media, audio, worker, size = [canvas.width, canvas.height], length = 0, position = 0;
const playing = new Set(), sent = [], asked = [];

function say(text) {
    note.textContent = text;
    note.style.display = text ? 'flex' : 'none';
    document.body.classList.toggle('running', state == 'running');
    if (state != 'running') document.body.classList.remove('controls');
    if (state != 'running') tell('');
}
// One line over the top of the page, for what the viewer should know while
// the demo goes on.
function tell(text) {
    line.textContent = text;
    line.style.display = text ? 'block' : 'none';
}
function report(name, body) {
    if (fps || stills.length) sent.push(fetch('/report/' + name, { method: 'POST', body }));
}
function fail(text) {
    state = 'failed';
    say(text);
    report('fail', text);
}
// A fault in this page's own script ends nothing once the demo is there:
// the line says what it was, and the demo and its controls go on. Only a
// page that never got ready has failed.
function trouble(text) {
    if (state == 'loading') return fail(text);
    tell(text);
    report('fail', text);
}
addEventListener('error', e => trouble('Error: ' + e.message));
addEventListener('unhandledrejection', e => trouble('Error: ' + (e.reason && e.reason.message || e.reason)));

// The whole picture, as large as the window allows within what a notch or
// rounded corners leave (the safe area), centred on black. The controls go
// below it where there is room; else over its lower edge, as in video
// players, if they take no more than its lower quarter; else in the margin
// to its right, a column (a phone held sideways); never over its middle.
const inset = document.createElement('div');
inset.style.cssText = 'position: absolute; visibility: hidden; padding: env(safe-area-inset-top, 0) ' +
    'env(safe-area-inset-right, 0) env(safe-area-inset-bottom, 0) env(safe-area-inset-left, 0)';
document.body.appendChild(inset);
function fit() {
    const c = getComputedStyle(inset), [t, r, b, l] = ['Top', 'Right', 'Bottom', 'Left'].map(s => parseFloat(c['padding' + s]));
    const W = innerWidth - l - r, H = innerHeight - t - b, k = Math.min(W / size[0], H / size[1]);
    const w = Math.floor(size[0] * k), h = Math.floor(size[1] * k), x = l + (W - w >> 1), y = t + (H - h >> 1);
    Object.assign(canvas.style, { width: w + 'px', height: h + 'px', left: x + 'px', top: y + 'px' });
    const shown = controls.style.display;
    controls.style.display = 'flex';
    controls.style.maxWidth = W + 'px';
    controls.classList.remove('column');
    let cw = Math.min(controls.offsetWidth, W), ch = controls.offsetHeight, to;
    if (H - h - (y - t) >= ch) to = { left: l + (W - cw >> 1), top: y + h };
    else if (ch <= h / 4 && cw <= w) to = { left: x + (w - cw >> 1), top: y + h - ch };
    else {
        controls.classList.add('column');
        [cw, ch] = [controls.offsetWidth, controls.offsetHeight];
        to = W - w - (x - l) >= cw ? { left: x + w, top: t + (H - ch >> 1) } : { left: l + W - cw, top: y + h - ch };
    }
    controls.style.display = shown;
    Object.assign(controls.style, { left: to.left + 'px', top: to.top + 'px' });
}
addEventListener('resize', fit);
fit();

// Full screen through the browser where it lets a page have it; where it
// does not (iPhone Safari has it for videos alone) or refuses, the page's
// own: the picture alone, filling the window, the controls a tap away. The
// buttons, F and a double tap or click go in and out of either.
const root = document.documentElement;
const inFullScreen = () => document.fullscreenElement || document.webkitFullscreenElement;
function fullWindow(on) {
    document.body.classList.toggle('fullwindow', on);
    fullScreenChanged();
}
function fullScreen() {
    const exit = document.exitFullscreen || document.webkitExitFullscreen;
    const enter = root.requestFullscreen || root.webkitRequestFullscreen;
    if (inFullScreen()) Promise.resolve(exit.call(document)).catch(() => {});
    else if (document.body.classList.contains('fullwindow') || !enter) fullWindow(!document.body.classList.contains('fullwindow'));
    else Promise.resolve(enter.call(root)).catch(() => fullWindow(true));
}
function fullScreenChanged() {
    const on = inFullScreen() || document.body.classList.contains('fullwindow');
    for (const b of document.querySelectorAll('.full')) b.textContent = on ? 'Exit full screen' : 'Full screen';
    fit();
}
for (const b of document.querySelectorAll('.full')) b.addEventListener('click', fullScreen);
for (const e of ['fullscreenchange', 'webkitfullscreenchange']) document.addEventListener(e, fullScreenChanged);
// A double click, or two taps close together.
let lastTap = { at: -1e9 }, pointer;
canvas.addEventListener('pointerdown', e => pointer = e.pointerType);
canvas.addEventListener('dblclick', () => pointer != 'touch' && fullScreen());
canvas.addEventListener('pointerup', e => {
    if (e.pointerType != 'touch') return;
    const near = Math.hypot(e.clientX - lastTap.x, e.clientY - lastTap.y) < 40;
    lastTap = e.timeStamp - lastTap.at < 400 && near ? { at: -1e9 } : { at: e.timeStamp, x: e.clientX, y: e.clientY };
    if (lastTap.at < 0) fullScreen();
});

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
addEventListener('click', e => {
    if (state == 'running' && e.target != note) showControls();
    wakeSound();
});
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

// Going to a moment: the timeline, the keys video players use and a link.
// The demo lands exactly where a run at 60 frames a second is then, fire
// included, playing or paused; the sound goes with it. Once it has ended,
// going somewhere plays it again from there.
const time = document.getElementById('time'), clock = document.getElementById('clock');
let dragging = false;
const minutes = ms => Math.floor(ms / 60000) + ':' + String(Math.floor(ms / 1000) % 60).padStart(2, '0');
function showPosition() {
    if (!dragging) time.value = position;
    clock.textContent = minutes(position) + ' / ' + minutes(length);
}
function goTo(ms) {
    ms = Math.min(Math.max(Math.round(ms), 0), length || Infinity);
    if (state == 'ended') return start(ms);
    if (state != 'running' || stopping) return;
    silence();
    position = ms;
    showPosition();
    worker.postMessage({ go: ms });
    showControls();
}
time.addEventListener('pointerdown', () => dragging = true);
addEventListener('pointerup', () => dragging = false);
time.addEventListener('input', () => goTo(+time.value));
const link = document.getElementById('link');
link.addEventListener('click', () => {
    history.replaceState(null, '', '#t=' + (position / 1000).toFixed(1));
    const said = () => tell('A link to ' + minutes(position) + ': ' + location.href);
    if (navigator.clipboard) navigator.clipboard.writeText(location.href).then(() => tell('Link to ' + minutes(position) + ' copied.'), said);
    else said();
    setTimeout(() => tell(''), 4000);
});
addEventListener('hashchange', () => linked() != null && goTo(linked()));
// The key's moment: ← and → five seconds back and on, Home the start, 0 to 9
// a tenth of the demo each.
function keyedMoment(key) {
    if (key == 'ArrowLeft' || key == 'ArrowRight') return position + (key == 'ArrowLeft' ? -5000 : 5000);
    if (key == 'Home') return 0;
    if (/^[0-9]$/.test(key)) return length ? +key * length / 10 : null;
    return null;
}

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
    if (state != 'running') makeAhead();
    if (state == 'ready' || state == 'ended')
        say(`With ${own.filter(Boolean).join(' and ')}: click or press a key to start.`);
}

// Browsers let a page make sound only after a click or a key. Space pauses
// and resumes the demo as it runs, as in video players.
note.addEventListener('click', start);
addEventListener('keydown', e => {
    const moment = keyedMoment(e.key);
    if (e.key == 'f' || e.key == 'F') fullScreen();
    else if (moment != null && (state == 'running' || state == 'ended')) {
        e.preventDefault();
        goTo(moment);
    } else if (e.key == ' ' && state == 'running') {
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
        worker = newWorker();
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
    worker.onerror = e => trouble('Error: ' + e.message);
    return files;
}

let workerUrl;
const newWorker = () => new Worker(workerUrl = workerUrl ||
    (one ? URL.createObjectURL(new Blob([one.worker], { type: 'text/javascript' })) : 'worker.js'));

// The fire's checkpoints, made ahead of the viewer: a second worker plays
// the demo with the page's seed and picture straight to its end, quietly,
// as soon as the page has them, and each checkpoint it makes goes to the
// demo's worker, which lands from the latest before a moment. It starts
// again when a run starts with another picture; meanwhile the demo's worker
// keeps its own, where it gets there first.
let ahead = null, aheadOf = null;
function makeAhead() {
    if (fps || aheadOf == media[IMAGE]) return;
    if (ahead) ahead.terminate();
    aheadOf = media[IMAGE];
    worker.postMessage({ forget: true });
    const made = ahead = newWorker();
    const done = () => {
        made.terminate();
        if (ahead == made) ahead = null;
    };
    made.onmessage = ({ data }) => {
        if (ahead != made) return;
        if (data.ready) made.postMessage({ start: { files: { [IMAGE]: aheadOf }, seed, ahead: true } });
        if (data.kept) worker.postMessage({ kept: data.kept }, [data.kept.field.buffer]);
        if ('ended' in data || data.error) done();
    };
    made.onerror = done;
}

// The sound: its sample frames a second, its clock 0 on the page's time line
// (performance.timeOrigin + performance.now(), in ms) and on the audio
// context's clock, the frames received since, those received that may not
// have been heard yet (each { first: its first frame, buffer }), and in
// test mode what was received.
let rate, zeroAt = 0, at = 0, queued = 0, held = [], record = [];
function start(at) {
    if (state != 'ready' && state != 'ended') return;
    if (typeof at != 'number') at = fps ? from : linked() || 0;
    position = at;
    showPosition();
    state = 'running';
    paused = null;
    stopping = false;
    pauseButton.textContent = 'Pause';
    say('');
    // Phones play a page's sound through the ring and silent switch unless
    // it asks for playback (Safari 16.4 on).
    if (navigator.audioSession) navigator.audioSession.type = 'playback';
    // At the rate the demo mixes at, so that the browser plays its buffers
    // as they are; made here, since sound may start only on a click or a key.
    if (!audio) {
        audio = new AudioContext({ sampleRate: 48000 });
        audio.onstatechange = () => audio.state == 'running' && (tell(''), place());
    }
    wakeSound();
    makeAhead();
    worker.postMessage({ start: { files: media, fps, seed, stills, from: at } });
    // Where the browser would not start the sound (no output, or it wants
    // another tap), the viewer is told how to have it.
    if (!fps) setTimeout(() => state == 'running' && audio.state != 'running' && tell('Tap for sound'), 500);
}
function wakeSound() {
    if (audio && audio.state != 'running') audio.resume().catch(() => {});
}
addEventListener('keydown', wakeSound);
// The sound's clock 0 placed on the audio context's clock from the page's
// time line, and what was held and not heard yet played from there: at the
// start, after a pause, and when the context starts late.
function place() {
    at = heardAt(zeroAt);
    if (!paused && !stopping && audio.state == 'running') held.forEach(play);
}

// What the worker says.
function fromWorker({ data }) {
    if (data.size) {
        size = data.size;
        fit();
    }
    if (data.spent) asked.shift()(data.spent);
    if (data.still) {
        report('still-' + data.still[0], data.still[1]);
        if (fps && data.still[0] == Math.max(...stills)) stop();
    }
    if (data.error) fail(data.error);
    if ('at' in data) {
        position = data.at;
        showPosition();
    }
    if (data.length) {
        length = data.length;
        time.max = length;
    }
    // The sound starts, or goes on from where the demo went.
    if ('audioFrom' in data) {
        silence();
        rate = data.rate;
        held = [];
        record = [];
        queued = data.audioFrom;
        zeroAt = data.zero;
        place();
    }
    // The demo's clock goes on where it stood: the sound's clock 0 is placed
    // anew from it, so that no pause can move the two apart.
    if (data.resumed) {
        zeroAt = data.resumed;
        place();
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
            // Sound whose time has gone cannot be heard any more, played or not.
            const gone = h => zeroAt + (h.first + h.buffer.length) / rate * 1000 < performance.timeOrigin + performance.now();
            if (!paused) while (held.length && gone(held[0])) held.shift();
            held.push({ first: queued, buffer: b });
            if (!paused && !stopping && audio.state == 'running') play(held[held.length - 1]);
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
// sound's start and when it was shown, as the worker times them; the bytes
// of the fire's checkpoints it holds.
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
    else makeAhead();
}, e => fail(String(e)));
