// The page's side of the flight: it turns the browser's events into calls of web/main.cpp's
// functions and puts each finished frame on the canvas. Emscripten puts it in front of its own
// code (--pre-js), so that those functions are in scope as _webFrame and so on and the memory
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
  return imageBytes ? '' : `size: ${width}x${height} needs more memory than the page can have`;
}

// The text of one of the engine's overlay lines: UTF-32 in WebAssembly's memory at address.
function overlayText(address) {
  let text = '';
  for (let i = address >> 2; HEAPU32[i]; i++) {
    text += String.fromCodePoint(HEAPU32[i]);
  }
  return text;
}

// The options of voidrunner-render that the page takes, by their names in the query, in the
// order the renderer reads them.
function flightOptions() {
  const names = [];
  for (let name; (name = _webFlightOption(names.length));) {
    names.push(UTF8ToString(name));
  }
  return names;
}
// Any of these makes the query a recorded flight; speed and mode alone set up the live page.
const recordedOptions = ['size', 'frames', 'fps', 'steer'];

// A name as the messages show it: as given, unless it would vanish or run into the words.
const shown = name => name === '' || name.includes(' ') ? `"${name}"` : name;

// A name of the query, or the value of the option named, with its escapes undone; or the
// problem with them.
function decoded(text, name) {
  try {
    return decodeURIComponent(text);
  } catch (malformed) {
    throw name === undefined ? `${shown(text)}: malformed escapes (UTF-8 as %XX)`
                             : `${name}: ${text} has malformed escapes (UTF-8 as %XX)`;
  }
}

// The query as voidrunner-render's command line: the page splits it, and the engine's side
// reads each value by the renderer's own rules. Its own splitting, since URLSearchParams would
// read '+' as a space. Throws the one line that names a problem, OPTION: what is wrong (what
// it allows).
function readQuery(search) {
  const names = flightOptions();
  const given = new Map();
  for (const part of search.replace(/^\?/, '').split('&').filter(part => part !== '')) {
    const equals = part.indexOf('=');
    const name = decoded(equals < 0 ? part : part.slice(0, equals));
    const value = equals < 0 ? '' : decoded(part.slice(equals + 1), name);
    if (name !== 'bench' && !names.includes(name)) {
      throw `${shown(name)}: unknown option`;
    }
    if (given.has(name)) {
      throw `${name}: given more than once (at most once)`;
    }
    given.set(name, value);
  }
  if (given.has('bench')) {
    if (given.get('bench') !== '' || given.size > 1) {
      throw 'bench: takes no value and no other option';
    }
    return {bench: true};
  }
  _webDefaultFlight();
  names.forEach((name, index) => {
    if (given.has(name)) {
      const value = given.get(name), bytes = lengthBytesUTF8(value);
      stringToUTF8(value, _webValueRoom(bytes), bytes + 1);
      const problem = _webReadFlightOption(index);
      if (problem) {
        throw UTF8ToString(problem);
      }
    }
  });
  const recorded = recordedOptions.some(name => given.has(name));
  const problem = recorded ? _webCheckFlight() : 0;
  if (problem) {
    throw UTF8ToString(problem);
  }
  return {
    recorded: recorded,
    width: _webFlightWidth(),
    height: _webFlightHeight(),
    frames: _webFlightFrames(),
    preview: _webFlightPreview() !== 0,
  };
}

// voidrunner-render's flight, as fast as the page can fly it, with a look at the picture now
// and then; the title then carries the CRC-32 of the last frame.
function flyRecorded(query) {
  _webStartRecorded();
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
    draw();
    if (flown < query.frames) {
      setTimeout(flySome, 0);
      return;
    }
    const crc = (_webFrameCrc() >>> 0).toString(16).padStart(8, '0');
    say(`${query.width}x${query.height}, ${query.preview ? 'preview' : 'saver'}, ` +
        `${query.frames} frames: crc ${crc}`);
    document.title = `crc ${crc}`;
  };
  flySome();
}

// The native benchmark's frame case: the renderer's flight at 1920 x 1080 (speed 28), the
// speed reached, after a second of flight. The frame (step, drawing and the copy into the
// window, which is the canvas's bytes here) is timed as the native one is; the canvas itself
// not at all.
function bench() {
  const warmUp = 60, timed = 600;
  readQuery('size=1920x1080');
  _webStartRecorded();
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
  draw();
  say(`1920x1080, speed 28, mean of ${timed} frames: ${frame} ms a frame`);
  document.title = `bench ${frame} ms`;
}

// The saver in the page: one frame each animation frame on the page's clock; pointer motion
// steers, the wheel sets the speed; a click or F goes full-screen, where any key or a click
// after the first 0.8 s comes back. The preview takes no input, as the saver's does.
function flyLive(query) {
  _webStartLive();
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
    titleLine.textContent = overlayText(_webOverlayTitle());
    captionLine.textContent = fullScreen() ? overlayText(_webOverlayCaption())
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
