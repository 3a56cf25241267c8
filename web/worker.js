// The demo's side of the page. It runs in a worker of its own, which draws
// straight into the page's canvas, so that the page's main thread has only
// the sound and the controls to look after, and stays free for the browser.
// The page sends the canvas once, then a start with the media for each run,
// Esc releases, pauses, resumes and moments to go to, and the fire's
// checkpoints made ahead; this sends back the screen's size, the sound as
// it is mixed, where the sound's clock stands, the moment shown, the frames
// shown (and in the benchmark's build what each part of them took) when
// asked, and how the run ended. The page's second worker is this one too,
// started to make the checkpoints ahead (see ahead below). In the page that
// is one file, the program comes before this script, its WebAssembly as
// wasmBinary.
'use strict';
if (typeof requestAnimationFrame != 'function' || typeof OffscreenCanvas != 'function') {
    postMessage({ error: 'This browser cannot draw from a worker.' });
} else {
    try {
        if (typeof Vaskiloimu != 'function') importScripts('vaskiloimu.js');
        postMessage({ ready: true });
    } catch (e) {
        postMessage({ error: 'vaskiloimu.js is missing.' });
    }
}

let canvas, g, escapes = 0, demo, frames = 0, goTo = -1, told = -1e9;
// The fire's checkpoints for the page's seed and picture, one a stretch of
// two seconds, made by this worker's runs or by the page's run ahead: they
// outlive each run, until the page has another picture.
let kept = new Map();
// While paused, the program's next wake-up is held here, unless it is to
// take one step, to show another moment; its clock leaves out the
// milliseconds paused, so it goes on where it was.
let paused = false, pausedAt = 0, pausedFor = 0, waking = null, step = false;
// The program's wait for the next animation frame, which a moment to go to
// cuts short.
let frameWait = null;
const ticks = () => (paused ? pausedAt : performance.now()) - pausedFor;
// The sound's clock 0 on ticks, and the ticks and the demo's clock of the
// last frame shown.
let soundAt = 0, shownAt = 0, shownClock = 0;
// When the sound's clock was 0 on the page's time line, as if never paused:
// the page plays the sound from there.
const soundZero = () => performance.timeOrigin + performance.now() - (ticks() - soundAt);

function resume() {
    if (!paused) return;
    paused = false;
    pausedFor += performance.now() - pausedAt;
    postMessage({ resumed: soundZero() });
    if (waking) requestAnimationFrame(waking);
    waking = null;
}

onmessage = ({ data }) => {
    if (data.canvas) {
        canvas = data.canvas;
        g = canvas.getContext('2d', { alpha: false });
    }
    if (data.pause && !paused) {
        paused = true;
        pausedAt = performance.now();
    }
    if (data.resume) resume();
    // A moment to go to, taken at the program's next frame; paused, the
    // program runs until it has shown it, and waits again.
    if ('go' in data) {
        goTo = data.go;
        if (paused && waking) {
            step = true;
            requestAnimationFrame(waking);
            waking = null;
        } else if (frameWait) {
            cancelAnimationFrame(frameWait.id);
            frameWait.go();
        }
    }
    // Esc is seen only by a program that runs.
    if (data.escape) {
        escapes++;
        resume();
    }
    if (data.forget) kept = new Map();
    if (data.kept && !kept.has(data.kept.stretch)) kept.set(data.kept.stretch, data.kept);
    if (data.start) (data.start.ahead ? ahead : start)(data.start);
    if (data.spent) postMessage({ spent: spent() });
};

// Frames shown, the last one's clock (the demo's, which the sound keeps to)
// and when it was shown (on the page's time line), the checkpoints' bytes,
// and in the benchmark's build the milliseconds spent so far in each part
// of the frames (web/timers.cpp).
function spent() {
    const r = { frames, clock: shownClock, shown: performance.timeOrigin + performance.now() - (ticks() - shownAt),
        kept: [...kept.values()].reduce((n, c) => n + c.field.byteLength, 0) };
    const timed = demo && demo.calledRun && demo._spent_ms;
    const p = timed ? demo._spent_ms() >> 3 : 0;
    if (timed) ['pattern', 'overlay', 'steps', 'blit', 'frame'].forEach((name, i) => r[name] = demo.HEAPF64[p + i]);
    return r;
}

// Test mode (fps set): the canvas at the clock values in stills goes to the
// page, which reports it.
function start({ files, fps, seed, stills, from }) {
    escapes = 0;
    frames = 0;
    paused = false;
    pausedFor = 0;
    waking = null;
    goTo = !fps && from ? from : -1;
    told = -1e9;
    let image, rate, queued = 0;
    Vaskiloimu(demo = {
        fps, seed, from, ticks, wasmBinary: self.wasmBinary,
        goTo: () => { const t = goTo; goTo = -1; return t; },
        length: ms => postMessage({ length: ms }),
        wait(ms, wake) {
            const go = () => (frameWait = null, paused && !step ? waking = go : (step = false, wake()));
            if (ms < 0) frameWait = { go, id: requestAnimationFrame(go) };
            else setTimeout(go, ms);
        },
        preRun: [m => { for (const name in files) m.FS.writeFile(name, files[name]); }],
        escape: () => escapes > 0 ? (escapes--, 1) : 0,
        // The frame's bytes, R, G, B, A, where the program keeps them; the
        // view is made again when the program's memory grows.
        show(memory, offset, w, h, t) {
            if (!image || image.data.buffer != memory || image.data.byteOffset != offset) {
                image = new ImageData(new Uint8ClampedArray(memory, offset, w * h * 4), w, h);
                if (canvas.width != w || canvas.height != h) {
                    canvas.width = w;
                    canvas.height = h;
                    postMessage({ size: [w, h] });
                }
            }
            g.putImageData(image, 0, 0);
            frames++;
            shownAt = ticks();
            shownClock = t;
            // Where the demo is, for the page's timeline, a few times a second.
            if (Math.abs(t - told) >= 100 || paused) postMessage({ at: told = t });
            if (stills.includes(t)) postMessage({ still: [t, g.getImageData(0, 0, w, h).data] });
        },
        // The sound's clock 0 is now, at this many sample frames a second.
        // It is handed to the page a tenth to a third of a second ahead of
        // this clock, a quarter of a second at a time: each buffer handed
        // over costs the page, whatever its length.
        audioStart(perSecond) {
            rate = perSecond;
            this.audioMoved(0);
        },
        // The sound goes on from its sample frame `first`, the demo's clock
        // having moved there.
        audioMoved(first) {
            soundAt = ticks() - first * 1000 / rate;
            queued = first;
            postMessage({ audioFrom: first, rate, zero: soundZero() });
        },
        audioWanted() {
            const ahead = queued - Math.ceil((ticks() - soundAt) * rate / 1000);
            return ahead < 0.1 * rate ? Math.ceil(0.25 * rate) - Math.max(0, ahead) : 0;
        },
        audio(s) {
            const copy = s.slice();
            queued += copy.length / 2;
            postMessage({ audio: copy }, [copy.buffer]);
        },
        ended(status) {
            postMessage({ ended: status });
        },
        keep(stretch, c) {
            if (!kept.has(stretch)) kept.set(stretch, { ...c, field: c.field.slice() });
        },
        restore(before) {
            let latest = null;
            for (const c of kept.values())
                if (c.frame <= before && !(latest && latest.frame > c.frame)) latest = c;
            return latest;
        },
    }).catch(e => postMessage({ error: 'The demo could not start: ' + e }));
}

// The run ahead, in a worker of its own: the demo with the page's seed and
// picture, which goes to its end as soon as it starts, quietly, as fast as
// it can, and hands the page each checkpoint it makes on the way. It shows
// nothing, waits for nothing and has no sound.
function ahead({ files, seed }) {
    let end = -1;
    Vaskiloimu({
        seed, ticks: () => performance.now(), wasmBinary: self.wasmBinary,
        preRun: [m => { for (const name in files) m.FS.writeFile(name, files[name]); }],
        length: ms => end = ms,
        goTo: () => { const t = end; end = -1; return t; },
        wait: (ms, wake) => setTimeout(wake, 0),
        keep(stretch, c) {
            const field = c.field.slice();
            postMessage({ kept: { ...c, stretch, field } }, [field.buffer]);
        },
        restore: () => null,
        escape: () => 0, show() {}, audioStart() {}, audioMoved() {}, audioWanted: () => 0, audio() {},
        ended: status => postMessage({ ended: status }),
    }).catch(e => postMessage({ error: 'The run ahead could not start: ' + e }));
}
