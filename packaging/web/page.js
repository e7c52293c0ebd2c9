// The page around the show: the loading picture and the download's progress, the click
// that starts the show (sound and full screen both need one), the show's messages over
// the canvas, a saved frame as a download, and the end screen.
'use strict';

var Module = (function () {
  const $ = (id) => document.getElementById(id);
  const stage = $('stage');
  const canvas = $('canvas');
  let state = 'loading';  // loading, ready, running, ended
  let messageJustShown = false;
  let endingFatal = null;  // set at the show's exit(): whether a message came with it

  // Keys the browser would use for itself (scrolling, its find bar, its full screen) stay
  // with the show while it runs.
  const showKeys = new Set(['PageUp', 'PageDown', 'Home', 'End', 'ArrowUp', 'ArrowDown',
    'ArrowLeft', 'ArrowRight', ' ', 'Tab', 'Backspace', 'F1', 'F2', 'F3', 'F5', 'F6', 'F7',
    'F8', 'F9', 'F10', 'F11', 'F12', '/', "'"]);
  window.addEventListener('keydown', (event) => {
    if (state === 'ready') {
      event.preventDefault();
      start();
    } else if (state === 'running' && showKeys.has(event.key)) {
      event.preventDefault();
    }
  }, true);

  function setProgress(text, share) {
    $('status-text').textContent = text;
    $('bar').firstElementChild.style.width = `${Math.round(share * 100)}%`;
  }

  function ready() {
    state = 'ready';
    $('status').style.display = 'none';
    $('start').style.display = 'block';
  }

  function askFullscreen() {
    try {
      const asked = stage.requestFullscreen ? stage.requestFullscreen() : null;
      if (!asked) {
        Module.fullscreenRefused = true;
        return;
      }
      // Refused after the show has started: the show says so, as a desktop's does.
      asked.catch(() => {
        Module.fullscreenRefused = true;
        if (state === 'running') Module._lumorakFullscreenRefused();
      });
    } catch (e) {
      Module.fullscreenRefused = true;
    }
  }

  function start() {
    if (state !== 'ready') return;
    state = 'running';
    $('start').style.display = 'none';
    $('loading').style.display = 'none';
    canvas.style.display = 'block';
    canvas.focus();
    if (!Module.noFullscreen) askFullscreen();
    // Saved frames are written here before they become downloads.
    try { Module.FS.mkdir('shots'); } catch (e) { /* there already */ }
    Module.clickedAt = performance.now();
    try {
      Module.callMain([]);
    } catch (e) {
      if (e !== 'unwind' && !(e && e.name === 'ExitStatus')) throw e;
    }
    Module.startMilliseconds = performance.now() - Module.clickedAt;
    // Runs after the main loop's first pass, in the same animation frame: the first show
    // frame has been drawn.
    requestAnimationFrame(() => { Module.firstFrameAt = performance.now(); });
  }

  $('start').addEventListener('click', start);
  canvas.addEventListener('click', () => canvas.focus());
  $('message-ok').addEventListener('click', () => {
    $('message').style.display = 'none';
    canvas.focus();
  });
  $('again').addEventListener('click', () => location.reload());
  $('full').addEventListener('click', () => stage.requestFullscreen && stage.requestFullscreen());
  $('shot').addEventListener('click', () => {
    if (state === 'running') Module._lumorakPressKey(0x7a);  // F11, the show's key
    canvas.focus();
  });
  let toolsTimer = 0;
  stage.addEventListener('mousemove', () => {
    if (state !== 'running') return;
    $('tools').classList.add('shown');
    clearTimeout(toolsTimer);
    toolsTimer = setTimeout(() => $('tools').classList.remove('shown'), 2000);
  });

  return {
    canvas: canvas,
    noFullscreen: new URLSearchParams(location.search).has('windowed'),
    print: (text) => console.log(text),
    printErr: (text) => console.warn(text),
    // The data package's loader reports "Downloading data... (loaded/total)".
    setStatus: (text) => {
      const m = /\((\d+)\/(\d+)\)/.exec(text || '');
      if (m && +m[2] > 0) {
        const mb = (n) => (n / 1048576).toFixed(1);
        setProgress(`Loading ${mb(+m[1])} of ${mb(+m[2])} MB`, +m[1] / +m[2]);
      } else if (text) {
        setProgress(text.replace('...', '…'), 1);
      }
    },
    onRuntimeInitialized: () => {
      setProgress('Loaded', 1);
      ready();
    },
    // The show's message box. A fatal message is followed at once by the show's exit.
    showMessage: (text) => {
      $('message-text').textContent = text;
      $('message').style.display = 'block';
      messageJustShown = true;
      queueMicrotask(() => { messageJustShown = false; });
    },
    // The show's exit() while its main loop runs: the runtime lives on, so end it.
    quit: (status, toThrow) => {
      if (endingFatal === null && state === 'running') {
        endingFatal = messageJustShown;
        setTimeout(() => {
          try {
            Module._lumorakEndRuntime(status);
          } catch (e) {
            if (!(e && e.name === 'ExitStatus')) throw e;  // the end, as expected
          }
        }, 0);
      }
      throw toThrow;
    },
    onExit: (status) => {
      state = 'ended';
      const fatal = endingFatal === null ? messageJustShown : endingFatal;
      if (fatal) {
        $('message-ok').style.display = 'none';
        $('end-text').textContent = 'The show has stopped.';
      } else {
        $('message').style.display = 'none';
        canvas.style.display = 'none';
        $('end-text').textContent = 'The show has ended.';
      }
      $('end').style.display = 'block';
      $('tools').classList.remove('shown');
      if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen();
      Module.ended = { status: status, fatal: fatal };
    },
    onAbort: (what) => {
      state = 'ended';
      $('message-text').textContent = `The show stopped: ${what}`;
      $('message').style.display = 'block';
      $('message-ok').style.display = 'none';
    },
    // A frame the show saved: a download, then gone from the page's memory.
    offerDownload: (path) => {
      const FS = Module.FS;
      if (!FS.analyzePath(path).exists) return;
      const bytes = FS.readFile(path);
      FS.unlink(path);
      const link = document.createElement('a');
      link.href = URL.createObjectURL(new Blob([bytes], { type: 'image/png' }));
      link.download = path.split('/').pop();
      document.body.appendChild(link);
      link.click();
      link.remove();
      setTimeout(() => URL.revokeObjectURL(link.href), 10000);
      Module.savedFrames = (Module.savedFrames || 0) + 1;
    },
  };
})();
