// The demo's side of the page. It runs in a worker of its own, which draws
// straight into the page's canvas, so that the page's main thread has only
// the sound and the controls to look after, and stays free for the browser.
// The page sends the canvas once, then a start with the media for each run,
// and Esc releases; this sends back the screen's size, the sound as it is
// mixed, the frames shown (and in the benchmark's build what each part of
// them took) when asked, and how the run ended.
'use strict';
if (typeof requestAnimationFrame != 'function' || typeof OffscreenCanvas != 'function') {
    postMessage({ error: 'This browser cannot draw from a worker.' });
} else {
    try {
        importScripts('vaskiloimu.js');
        postMessage({ ready: true });
    } catch (e) {
        postMessage({ error: 'vaskiloimu.js is missing.' });
    }
}

let canvas, g, escapes = 0, demo, frames = 0;

onmessage = ({ data }) => {
    if (data.canvas) {
        canvas = data.canvas;
        g = canvas.getContext('2d', { alpha: false });
    }
    if (data.escape) escapes++;
    if (data.start) start(data.start);
    if (data.spent) postMessage({ spent: spent() });
};

// Frames shown, and in the benchmark's build the milliseconds spent so far
// in each part of them (web/timers.cpp).
function spent() {
    const r = { frames }, timed = demo && demo.calledRun && demo._spent_ms;
    const p = timed ? demo._spent_ms() >> 3 : 0;
    if (timed) ['pattern', 'overlay', 'steps', 'blit', 'frame'].forEach((name, i) => r[name] = demo.HEAPF64[p + i]);
    return r;
}

// Test mode (fps set): the canvas at the clock values in stills goes to the
// page, which reports it.
function start({ files, fps, seed, stills }) {
    escapes = 0;
    frames = 0;
    let image, rate, started = 0, queued = 0;
    Vaskiloimu(demo = {
        fps, seed,
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
            if (stills.includes(t)) postMessage({ still: [t, g.getImageData(0, 0, w, h).data] });
        },
        // The sound's clock 0 is now, at this many sample frames a second.
        // It is handed to the page a tenth to a third of a second ahead of
        // this clock, a quarter of a second at a time: each buffer handed
        // over costs the page, whatever its length.
        audioStart(perSecond) {
            rate = perSecond;
            started = performance.now();
            queued = 0;
            postMessage({ audioStart: rate });
        },
        audioWanted() {
            const ahead = queued - Math.ceil((performance.now() - started) * rate / 1000);
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
    }).catch(e => postMessage({ error: 'The demo could not start: ' + e }));
}
