// The page's side of the flight: it turns the browser's events into calls of web/main.cpp's
// functions and puts each finished frame on the canvas. Emscripten puts it in front of its own
// code (--pre-js), so that those functions are in scope as _webStart and so on and the memory
// as HEAPU8 once the module, compiled as the page loads, calls onRuntimeInitialized.

const canvas = document.getElementById('flight');
const context = canvas.getContext('2d', {alpha: false});
const titleLine = document.getElementById('title');
const captionLine = document.getElementById('caption');
const messageLine = document.getElementById('message');

let image = null; // the canvas bytes in WebAssembly's memory, as the canvas takes them
let imageBytes = 0;

function say(text) {
  messageLine.textContent = text;
  messageLine.hidden = false;
}

// A query that is not understood is refused, never flown as something else.
function refuse(problem) {
  say(`voidrunner3d: ${problem}`);
  document.title = `refused: ${problem}`;
}

// Allocating may grow the memory, which leaves every view of the old one empty.
function draw() {
  if (!image || image.data.buffer !== HEAPU8.buffer) {
    image = imageBytes ? new ImageData(new Uint8ClampedArray(HEAPU8.buffer, imageBytes,
                                                             canvas.width * canvas.height * 4),
                                       canvas.width, canvas.height)
                       : null;
  }
  if (image) {
    context.putImageData(image, 0, 0);
  }
}

// WM_SIZE: the canvas takes the new size in device pixels, and so do the frame buffers. Returns
// the problem when they cannot be had.
function resize(width, height) {
  canvas.width = width;
  canvas.height = height;
  imageBytes = _webResize(width, height);
  image = null;
  return imageBytes ? '' : `no memory for frames of ${width}x${height}`;
}

// The text of one of the engine's overlay lines: UTF-32 in WebAssembly's memory.
function overlayText(line) {
  let text = '';
  for (let i = _webOverlayLine(line) >> 2; HEAPU32[i]; i++) {
    text += String.fromCodePoint(HEAPU32[i]);
  }
  return text;
}

// voidrunner-render's defaults, and which of its options the page takes.
const renderDefaults = {size: '1280x720', frames: '120', fps: '60', speed: '28', steer: '0,0',
                        mode: 'saver'};
// Any of these makes the query a recorded flight; speed and mode alone set up the live page.
const recordedOptions = ['size', 'frames', 'fps', 'steer'];

const wholeNumber = /^[+-]?[0-9]+$/;
const plainNumber = /^[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)$/; // no exponent, inf, nan or hex

function inRange(name, text, low, high) {
  if (!wholeNumber.test(text)) {
    throw `${name}: '${text}' is not a whole number`;
  }
  const value = Number(text);
  if (value < low || value > high) {
    throw `${name}: ${text} is not in [${low} - ${high}]`;
  }
  return value;
}

// The query as voidrunner-render's command line, read by its rules. Its own splitting, since
// URLSearchParams would read '+' as a space. Throws the one line that names a problem.
function readQuery(search) {
  const given = {};
  for (const part of search.replace(/^\?/, '').split('&').filter(part => part !== '')) {
    const equals = part.indexOf('=');
    const name = decodeURIComponent(equals < 0 ? part : part.slice(0, equals));
    const value = equals < 0 ? '' : decodeURIComponent(part.slice(equals + 1));
    if (name !== 'bench' && !(name in renderDefaults)) {
      throw `unknown option '${name}'`;
    }
    if (name in given) {
      throw `${name}: given twice`;
    }
    given[name] = value;
  }
  if ('bench' in given) {
    if (given.bench !== '' || Object.keys(given).length > 1) {
      throw 'bench takes no value and no other option';
    }
    return {bench: true};
  }
  const text = Object.assign({}, renderDefaults, given);
  const query = {recorded: recordedOptions.some(name => name in given)};

  const cross = text.size.search(/[xX]/);
  const sides = cross < 0 ? [text.size, ''] : [text.size.slice(0, cross),
                                               text.size.slice(cross + 1)];
  if (!wholeNumber.test(sides[0]) || !wholeNumber.test(sides[1])) {
    throw `size: '${text.size}' is not WIDTHxHEIGHT`;
  }
  [query.width, query.height] = sides.map((side, i) => {
    const value = Number(side);
    if (value < 1 || value > 65535) {
      throw `size: ${['width', 'height'][i]} ${side} is outside 1 to 65535`;
    }
    return value;
  });
  query.frames = inRange('frames', text.frames, 0, 2147483647);
  if (query.recorded && query.frames === 0) {
    throw 'frames: 0 renders no frame to show';
  }
  if (!plainNumber.test(text.fps)) {
    throw `fps: '${text.fps}' is not a number`;
  }
  const fps = Number(text.fps);
  if (!(fps > 0) || fps > 10000000) {
    throw `fps: ${text.fps} is not above 0 and at most 10000000`;
  }
  query.speed = inRange('speed', text.speed, 0, 100);
  const comma = text.steer.indexOf(',');
  [query.yaw, query.pitch] = comma < 0 ? [text.steer, ''] : [text.steer.slice(0, comma),
                                                             text.steer.slice(comma + 1)];
  if (!plainNumber.test(query.yaw) || !plainNumber.test(query.pitch)) {
    throw `steer: '${text.steer}' is not YAW,PITCH (two numbers in radians)`;
  }
  if (text.mode !== 'saver' && text.mode !== 'preview') {
    throw `mode: '${text.mode}' is not saver or preview`;
  }
  query.preview = text.mode === 'preview';
  // The last frame's stamp must fit the signed 64-bit counter, as the renderer demands.
  const ticks = 10000000 / fps;
  const limit = 2 ** 63 / Math.max(query.frames, 1);
  query.frameTicks = Math.round(ticks);
  if (!(ticks < limit) || query.frameTicks > limit) {
    throw `fps: ${text.fps} frames per second over ${query.frames} frames overruns the clock`;
  }
  return query;
}

// voidrunner-render's flight, as fast as the page can fly it, with a look at the picture now
// and then; the title then carries the CRC-32 of the last frame.
function recordFlight(frameTicks, yaw, pitch) {
  return ccall('webRecordFlight', 'number', ['number', 'string', 'string'],
               [frameTicks, yaw, pitch]);
}

function flyRecorded(query) {
  _webStart(query.preview, query.speed, 1);
  if (!recordFlight(query.frameTicks, query.yaw, query.pitch)) {
    refuse(`steer: '${query.yaw},${query.pitch}' is too large`);
    return;
  }
  canvas.className = 'recorded';
  canvas.style.width = `${query.width / devicePixelRatio}px`;
  const problem = resize(query.width, query.height);
  if (problem) {
    refuse(problem);
    return;
  }
  let flown = 0;
  const flySome = () => {
    const until = performance.now() + 40;
    while (flown < query.frames && performance.now() < until) {
      _webFly(1);
      flown++;
    }
    _webShow();
    draw();
    if (flown < query.frames) {
      setTimeout(flySome, 0);
      return;
    }
    const crc = (_webShownCrc() >>> 0).toString(16).padStart(8, '0');
    say(`${query.width}x${query.height}, ${query.preview ? 'preview' : 'saver'}, ` +
        `${query.frames} frames: crc ${crc}`);
    document.title = `crc ${crc}`;
  };
  flySome();
}

// The native benchmark's frame case: 1920 x 1080 at speed 28, the speed reached, after a
// second of flight. The frame (step, drawing and the copy into the window) is timed as the
// native one is; the copy into the canvas bytes apart, and the canvas itself not at all.
function bench() {
  const warmUp = 60, timed = 600;
  _webStart(0, 28, 1);
  recordFlight(166667, '0', '0');
  canvas.className = 'recorded';
  canvas.style.width = `${1920 / devicePixelRatio}px`;
  const problem = resize(1920, 1080);
  if (problem) {
    refuse(problem);
    return;
  }
  _webReachSpeed();
  _webFly(warmUp);
  const mean = run => {
    const start = performance.now();
    for (let frame = 0; frame < timed; frame++) {
      run();
    }
    return ((performance.now() - start) / timed).toFixed(3);
  };
  const frame = mean(() => _webFly(1));
  const show = mean(_webShow);
  draw();
  say(`1920x1080, speed 28, mean of ${timed} frames: ${frame} ms a frame, ` +
      `${show} ms to copy it into the canvas bytes`);
  document.title = `bench ${frame} ms + ${show} ms`;
}

// The saver in the page: one frame each animation frame on the page's clock; pointer motion
// steers, the wheel sets the speed; a click or F goes full-screen, where any key or a click
// after the first 0.8 s comes back. The preview takes no input, as the saver's does.
function flyLive(query) {
  _webStart(query.preview, query.speed, 0);
  const watcher = new ResizeObserver(entries => {
    const entry = entries[0];
    const box = entry.devicePixelContentBoxSize && entry.devicePixelContentBoxSize[0];
    document.documentElement.style.setProperty('--px', `${1 / devicePixelRatio}px`);
    const width = box ? box.inlineSize : Math.round(entry.contentRect.width * devicePixelRatio);
    const height = box ? box.blockSize : Math.round(entry.contentRect.height * devicePixelRatio);
    // Without buffers the flight stands still, as the saver's does, until a size they fit.
    const problem = resize(width, height);
    say(problem);
    messageLine.hidden = !problem;
  });
  try {
    watcher.observe(canvas, {box: 'device-pixel-content-box'});
  } catch (e) {
    watcher.observe(canvas);
  }
  const frame = () => {
    if (imageBytes) {
      _webFrame();
      draw();
    }
    requestAnimationFrame(frame);
  };
  requestAnimationFrame(frame);
  if (query.preview) {
    return;
  }

  const fullScreen = () => document.fullscreenElement !== null;
  const showOverlay = () => {
    titleLine.textContent = overlayText(0);
    captionLine.textContent = fullScreen() ? overlayText(1)
                                           : 'Click or F: full screen   |   Mouse: steer   |   ' +
                                                 'Wheel: speed';
    titleLine.hidden = captionLine.hidden = false;
  };
  showOverlay();
  const enterFullScreen = () => {
    document.documentElement.requestFullscreen().catch(() => {});
    const lock = canvas.requestPointerLock();
    if (lock) {
      lock.catch(() => {});
    }
  };
  document.addEventListener('fullscreenchange', () => {
    if (fullScreen()) {
      _webFullScreenBegins();
    } else if (document.pointerLockElement) {
      document.exitPointerLock();
    }
    showOverlay();
  });
  // Whole counts, as raw mouse reports carry; the fractions some browsers report add up.
  let carryX = 0, carryY = 0;
  canvas.addEventListener('pointermove', event => {
    carryX += event.movementX;
    carryY += event.movementY;
    const dx = Math.trunc(carryX), dy = Math.trunc(carryY);
    carryX -= dx;
    carryY -= dy;
    _webSteer(dx, dy);
  });
  // WM_MOUSEWHEEL's units, 120 a notch and positive away from the user, are what Chromium and
  // WebKit report as wheelDeltaY; elsewhere deltaY counts pixels (100 a notch), lines (3) or
  // pages.
  canvas.addEventListener('wheel', event => {
    event.preventDefault();
    _webWheel(event.wheelDeltaY !== undefined
                  ? event.wheelDeltaY
                  : Math.round(-event.deltaY / [100, 3, 1][event.deltaMode] * 120));
  }, {passive: false});
  canvas.addEventListener('pointerdown', () => {
    if (!fullScreen()) {
      enterFullScreen();
    } else if (_webClickEnds()) {
      document.exitFullscreen().catch(() => {});
    }
  });
  document.addEventListener('keydown', event => {
    if (fullScreen()) {
      event.preventDefault();
      document.exitFullscreen().catch(() => {});
    } else if (event.key.toLowerCase() === 'f' && !event.ctrlKey && !event.metaKey &&
               !event.altKey) {
      enterFullScreen();
    }
  });
}

// Emscripten calls it once the WebAssembly module is ready.
Module.onRuntimeInitialized = () => {
  let query;
  try {
    query = readQuery(location.search);
  } catch (problem) {
    refuse(problem);
    return;
  }
  if (query.bench) {
    bench();
  } else if (query.recorded) {
    flyRecorded(query);
  } else {
    flyLive(query);
  }
};
Module.onAbort = what => say(`voidrunner3d stopped: ${what}`);
