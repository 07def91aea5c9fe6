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

// The message line is a live status, there from the start, so that screen readers announce what
// it comes to say; empty, it shows nothing.
function say(text) {
  messageLine.textContent = text;
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
    speedGiven: given.has('speed'),
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

// Browsers without element full-screen (a phone's, say) lack the calls or hold undefined where
// the element would be; those fly and steer without it. A call may give a promise or nothing.
const canFullScreen = () => typeof document.documentElement.requestFullscreen === 'function' &&
                            typeof document.exitFullscreen === 'function' &&
                            document.fullscreenEnabled !== false;
const fullScreen = () => Boolean(document.fullscreenElement);
const quietly = result => result && result.catch && result.catch(() => {});

// The saver in the page: one frame each animation frame on the page's clock; pointer motion or
// a touch drag steers, the wheel or a two-finger swipe sets the speed; a click, a tap or F goes
// full-screen where the browser can, where any key or a click after the first 0.8 s comes back.
// The preview takes no input, as the saver's does. Asked for reduced motion, the page waits for
// the wheel or the fingers to fly.
function flyLive(query) {
  _webStartLive();
  if (!query.speedGiven && matchMedia('(prefers-reduced-motion: reduce)').matches) {
    _webStartAtRest();
  }
  const watcher = new ResizeObserver(entries => {
    const entry = entries[0];
    const box = entry.devicePixelContentBoxSize && entry.devicePixelContentBoxSize[0];
    const width = box ? box.inlineSize : Math.round(entry.contentRect.width * devicePixelRatio);
    const height = box ? box.blockSize : Math.round(entry.contentRect.height * devicePixelRatio);
    // Without buffers the flight stands still, as the saver's does, until a size they fit.
    say(resize(width, height));
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

  // The caption names the primary pointer's controls: a mouse's, or where it is coarse (a touch
  // screen) the fingers'. In full-screen a mouse has the saver's own caption.
  const coarse = matchMedia('(pointer: coarse)');
  const showOverlay = () => {
    const touch = coarse.matches, moving = _webSpeedSetting() !== 0;
    const steerBy = touch ? 'Drag: steer' : 'Mouse: steer';
    const speed = !touch ? moving ? 'Wheel: speed' : 'At rest: wheel up to fly'
                  : moving ? 'Two fingers up or down: speed' : 'At rest: two fingers up to fly';
    const enter = !canFullScreen() ? '' : touch ? 'Tap: full screen' : 'Click or F: full screen';
    titleLine.textContent = overlayText(_webOverlayTitle());
    const parts =
        !fullScreen() ? [enter, steerBy, speed] : touch ? [steerBy, speed, 'Tap: exit'] : [];
    captionLine.textContent = parts.length ? parts.filter(part => part).join('   |   ')
                                           : overlayText(_webOverlayCaption());
    titleLine.hidden = captionLine.hidden = false;
  };
  showOverlay();
  if (typeof coarse.addEventListener === 'function') {
    coarse.addEventListener('change', showOverlay); // a tablet's keyboard and touchpad, say
  }
  // The pointer is locked only with full-screen, which gives it back.
  const enterFullScreen = () => {
    if (canFullScreen()) {
      quietly(document.documentElement.requestFullscreen());
      if (typeof canvas.requestPointerLock === 'function') {
        quietly(canvas.requestPointerLock());
      }
    }
  };
  const leaveFullScreen = () => {
    if (typeof document.exitFullscreen === 'function') {
      quietly(document.exitFullscreen());
    }
  };
  const click = () => {
    if (!fullScreen()) {
      enterFullScreen();
    } else if (_webClickEnds()) {
      leaveFullScreen();
    }
  };
  document.addEventListener('fullscreenchange', () => {
    if (fullScreen()) {
      _webFullScreenBegins();
    } else if (document.pointerLockElement && typeof document.exitPointerLock === 'function') {
      document.exitPointerLock();
    }
    showOverlay();
  });
  // Whole counts, as raw mouse reports carry; the fractions some browsers report add up.
  let carryX = 0, carryY = 0;
  const steer = (x, y) => {
    carryX += x;
    carryY += y;
    const dx = Math.trunc(carryX), dy = Math.trunc(carryY);
    carryX -= dx;
    carryY -= dy;
    _webSteer(dx, dy);
  };
  // A touch or a pen steers by the primary pointer's positions, since not every browser reports
  // movement for them; pressed, it is not yet a click, since a drag begins the same way. One
  // released within 10 CSS pixels of where it began and within 300 ms was a tap, and a tap is a
  // click. With a second finger down the fingers set the speed instead, as the wheel does: each
  // 40 CSS pixels their midpoint travels up is a notch up, and down a notch down; the first
  // finger steers on from where it is once the second lifts.
  const fingers = new Map(); // each touch or pen pointer down, by its id: where it was last
  let press = null;          // the primary pointer's press while it may be a tap: where and when
  let swipeFrom = 0;         // the midpoint's height at the last notch, in CSS pixels
  const midpoint = () => [...fingers.values()].reduce((sum, at) => sum + at.y, 0) / fingers.size;
  const swipe = () => {
    const notches = Math.trunc((swipeFrom - midpoint()) / 40);
    if (notches) {
      swipeFrom -= notches * 40;
      _webWheel(notches * 120);
      showOverlay();
    }
  };
  canvas.addEventListener('pointerdown', event => {
    if (event.pointerType === 'mouse') {
      click();
      return;
    }
    fingers.set(event.pointerId, {x: event.clientX, y: event.clientY});
    press = event.isPrimary ? {x: event.clientX, y: event.clientY, time: event.timeStamp} : null;
    swipeFrom = midpoint();
  });
  canvas.addEventListener('pointermove', event => {
    const last = fingers.get(event.pointerId);
    if (event.pointerType === 'mouse') {
      steer(event.movementX, event.movementY);
    } else if (last) {
      const dx = event.clientX - last.x, dy = event.clientY - last.y;
      last.x = event.clientX;
      last.y = event.clientY;
      if (fingers.size > 1) {
        swipe();
      } else if (event.isPrimary) {
        steer(dx, dy);
      }
    }
  });
  // A finger lifted, or taken by the browser: no tap from here on, and the midpoint of the rest.
  const lift = event => {
    if (fingers.delete(event.pointerId)) {
      press = null;
      swipeFrom = midpoint();
    }
  };
  canvas.addEventListener('pointerup', event => {
    const tap = press && event.isPrimary &&
                Math.hypot(event.clientX - press.x, event.clientY - press.y) <= 10 &&
                event.timeStamp - press.time <= 300;
    lift(event);
    if (tap) {
      click();
    }
  });
  canvas.addEventListener('pointercancel', lift);
  // WM_MOUSEWHEEL's units, 120 a notch and positive away from the user, are what Chromium,
  // WebKit and Firefox report as wheelDeltaY; elsewhere deltaY counts pixels (100 a notch),
  // lines (3) or pages. A touchpad reports far less than a notch at a time, so the reports add
  // up and whole notches go on; a turn the other way, or a report more than half a second after
  // the last, starts afresh, so that it counts at once and no old rest joins it. With Ctrl held
  // (a touchpad's pinch comes so too) the wheel zooms the page, as the browser does it.
  let wheelRest = 0, wheelTime = -Infinity;
  canvas.addEventListener('wheel', event => {
    if (event.ctrlKey) {
      return;
    }
    event.preventDefault();
    const delta = event.wheelDeltaY !== undefined
                      ? event.wheelDeltaY
                      : -event.deltaY / [100, 3, 1][event.deltaMode] * 120;
    const fresh = delta * wheelRest < 0 || event.timeStamp - wheelTime > 500;
    wheelRest = fresh ? delta : wheelRest + delta;
    wheelTime = event.timeStamp;
    const notches = Math.trunc(wheelRest / 120);
    wheelRest -= notches * 120;
    if (notches) {
      _webWheel(notches * 120);
      showOverlay();
    }
  }, {passive: false});
  // A held key's repeats are not presses: holding F goes full-screen and stays.
  document.addEventListener('keydown', event => {
    if (event.repeat) {
      return;
    }
    if (fullScreen()) {
      event.preventDefault();
      leaveFullScreen();
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
