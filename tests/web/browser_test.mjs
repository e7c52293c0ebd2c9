// The browser build in Debian's headless Chromium, driven over the DevTools protocol.
//
// Usage: node browser_test.mjs BASE_URL OUT_DIR PART...
//   golden       lumorak-capture's golden frames, written to OUT_DIR/frames/ for pngdiff
//   play         the page: loading, the click, the first frame, Page Down, P, Space, a
//                saved frame, Escape and the end screen; the console stays clean
//   missing      BASE_URL/missing/ lacks data/loading.png: the message, and the show stops
//   playthrough  the whole show to its end, frame rates by scene, a clean console
// Prints one "ok" or "not ok" line per check, with figures; exits 1 if any check failed.
import fs from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [baseUrl, outDir, ...parts] = process.argv.slice(2);
let failures = 0;

function check(ok, what) {
  console.log(`${ok ? 'ok' : 'not ok'} - ${what}`);
  if (!ok) failures += 1;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function waitFor(page, condition, timeoutMs, what, ...args) {
  try {
    await page.waitForFunction(condition, { timeout: timeoutMs, polling: 100 }, ...args);
    return true;
  } catch (e) {
    check(false, `${what} (not within ${timeoutMs / 1000} s)`);
    return false;
  }
}

// Console lines and exceptions of a page: WebGL's warnings and every error count as faults.
function watchConsole(page) {
  const log = { lines: [], faults: [] };
  page.on('console', (message) => {
    const text = message.text();
    log.lines.push(text);
    const type = message.type();
    if (type === 'error' || /WebGL|GL_INVALID|GL ERROR/i.test(text)) log.faults.push(`${type}: ${text}`);
  });
  page.on('pageerror', (error) => log.faults.push(`exception: ${error.message}`));
  page.on('requestfailed', (request) => {
    if (!request.url().endsWith('favicon.ico')) log.faults.push(`request failed: ${request.url()}`);
  });
  return log;
}

// The canvas as the viewer sees it: a screenshot, measured in the page.
async function canvasPicture(page) {
  const canvas = await page.$('#canvas');
  const shot = await canvas.screenshot({ encoding: 'base64' });
  return page.evaluate(async (base64) => {
    const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }));
    const c = new OffscreenCanvas(bitmap.width, bitmap.height);
    const g = c.getContext('2d');
    g.drawImage(bitmap, 0, 0);
    const data = g.getImageData(0, 0, bitmap.width, bitmap.height).data;
    let sum = 0;
    let lit = 0;
    let hash = 0;
    for (let i = 0; i < data.length; i += 4) {
      const v = data[i] + data[i + 1] + data[i + 2];
      sum += v;
      if (v > 30) lit += 1;
      hash = (hash * 31 + data[i] + 7 * data[i + 1] + 13 * data[i + 2]) >>> 0;
    }
    const pixels = data.length / 4;
    return { mean: sum / pixels / 3, litShare: lit / pixels, hash: hash };
  }, shot);
}

const showTime = (page) => page.evaluate(() => Module._lumorakShowTime());

async function openPage(browser, url) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1024, height: 768 });
  const log = watchConsole(page);
  const opened = Date.now();
  await page.goto(url, { waitUntil: 'domcontentloaded' });
  return { page, log, opened };
}

async function startShow(page) {
  await page.click('#start');
  return Date.now();
}

async function golden(browser) {
  const { page, log } = await openPage(browser,
    `${baseUrl}/capture.html?args=--fps+10+--frames+6,46,70,90,110,128`);
  const started = Date.now();
  if (!(await waitFor(page, () => window.captured, 900000, 'the golden frames are rendered'))) return;
  const captured = await page.evaluate(() => window.captured);
  for (const line of log.lines) console.log(`# ${line}`);
  const seconds = (Date.now() - started) / 1000;
  const names = Object.keys(captured.files).sort();
  check(captured.status === 0 && names.length === 6,
    `lumorak-capture --frames ran in the browser: status ${captured.status}, ${names.length} frames in ${seconds.toFixed(1)} s`);
  fs.mkdirSync(path.join(outDir, 'frames'), { recursive: true });
  for (const name of names) {
    fs.writeFileSync(path.join(outDir, 'frames', name), Buffer.from(captured.files[name], 'base64'));
  }
  check(log.faults.length === 0, `no WebGL error or exception while capturing ${log.faults.slice(0, 5).join(' | ')}`);
  await page.close();
}

async function play(browser) {
  const { page, log, opened } = await openPage(browser, `${baseUrl}/index.html`);
  await waitFor(page, () => document.getElementById('loading').complete &&
    document.getElementById('loading').naturalWidth > 0, 10000, 'the loading picture shows');
  const pictureMs = Date.now() - opened;
  check(true, `the loading picture shows ${pictureMs} ms after the page opened`);
  if (!(await waitFor(page, () => getComputedStyle(document.getElementById('start')).display !== 'none',
    60000, 'the page offers to start'))) return;
  const readyMs = Date.now() - opened;
  await page.screenshot({ path: path.join(outDir, 'page-start.png') });
  const clicked = await startShow(page);
  const firstFrame = await waitFor(page, () => Module._lumorakShowTime && Module._lumorakShowTime() > 0,
    5000, 'the show runs within 5 s of the click');
  const firstMs = Date.now() - clicked;
  await sleep(1000);
  const picture = await canvasPicture(page);
  check(firstFrame && picture.litShare > 0.01,
    `a non-blank frame within 5 s of the click: first frame ${firstMs} ms after it (data ready ${readyMs} ms after opening), ${(picture.litShare * 100).toFixed(1)} % of the canvas lit`);
  await page.screenshot({ path: path.join(outDir, 'page-opening.png') });
  const startup = await page.evaluate(() => {
    const steps = [];
    for (let i = 0; Module._lumorakStartupSeconds(i) >= 0; ++i) steps.push(Module._lumorakStartupSeconds(i));
    return { steps, mainMs: Module.startMilliseconds, firstMs: Module.firstFrameAt - Module.clickedAt };
  });
  console.log(`# start-up: the first show frame ${Math.round(startup.firstMs)} ms after the click; ` +
    `main() returned after ${Math.round(startup.mainMs)} ms: the window step (with the music's decode) ` +
    `${startup.steps[0].toFixed(3)} s, all steps (${startup.steps.map((x) => x.toFixed(3)).join(' ')})`);

  // Page Down: 30 s on in the show's own time.
  const before = await showTime(page);
  await page.keyboard.press('PageDown');
  await sleep(300);
  const after = await showTime(page);
  check(after - before > 29.9 && after - before < 31.5,
    `Page Down moves the show from ${before.toFixed(2)} s to ${after.toFixed(2)} s`);
  const scrolled = await page.evaluate(() => window.scrollY);
  check(scrolled === 0, 'the page does not scroll');
  await sleep(1500);
  await page.screenshot({ path: path.join(outDir, 'page-words.png') });

  // P: the picture and the clock stop; P again: they go on.
  await page.keyboard.press('p');
  await sleep(300);
  const pausedAt = await showTime(page);
  const pausedPicture = await canvasPicture(page);
  await sleep(1000);
  const stillAt = await showTime(page);
  const stillPicture = await canvasPicture(page);
  check(Math.abs(stillAt - pausedAt) < 0.02 && stillPicture.hash === pausedPicture.hash,
    `P pauses: ${pausedAt.toFixed(2)} s, a second later ${stillAt.toFixed(2)} s, the same picture`);
  await page.keyboard.press('p');
  await sleep(1000);
  const resumedAt = await showTime(page);
  check(resumedAt - stillAt > 0.5, `P again resumes: ${resumedAt.toFixed(2)} s`);

  // Space: the beat line on the console.
  await page.keyboard.press('Space');
  await sleep(300);
  check(log.lines.some((line) => /^Beat \d+\.\d\d delta /.test(line)), 'Space prints the beat line to the console');

  // F11: the next frame as the download shot0000.png.
  const downloads = fs.mkdtempSync(path.join(outDir, 'downloads-'));
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.keyboard.press('F11');
  const shot = path.join(downloads, 'shot0000.png');
  for (let i = 0; i < 50 && !fs.existsSync(shot); ++i) await sleep(100);
  const shotBytes = fs.existsSync(shot) ? fs.readFileSync(shot) : Buffer.alloc(0);
  check(shotBytes.length > 1000 && shotBytes.subarray(1, 4).toString() === 'PNG',
    `F11 saves the frame as the download shot0000.png (${shotBytes.length} bytes)`);
  await page.click('#shot');
  const second = path.join(downloads, 'shot0001.png');
  for (let i = 0; i < 50 && !fs.existsSync(second); ++i) await sleep(100);
  check(fs.existsSync(second), 'the page\'s Save frame button saves shot0001.png');

  // Escape: the end, and the end screen. (A desktop browser in full screen keeps the first
  // Escape for itself and leaves full screen; headless Chromium has no full-screen window
  // and passes every key to the page.)
  const full = await page.evaluate(() => !!document.fullscreenElement);
  console.log(`# the page was ${full ? '' : 'not '}in full screen`);
  await page.keyboard.press('Escape');
  await waitFor(page, () => Module.ended, 3000, 'Escape ends the show');
  const ended = await page.evaluate(() => ({
    ended: Module.ended,
    endShown: getComputedStyle(document.getElementById('end')).display !== 'none',
    text: document.getElementById('end-text').textContent,
  }));
  check(ended.ended && ended.ended.status === 0 && !ended.ended.fatal && ended.endShown,
    `Escape ends the show with the end screen: "${ended.text}"`);
  await page.screenshot({ path: path.join(outDir, 'page-end.png') });
  check(log.faults.length === 0, `a clean console ${log.faults.slice(0, 5).join(' | ')}`);
  await page.close();
}

async function missing(browser) {
  const { page, log } = await openPage(browser, `${baseUrl}/missing/index.html`);
  if (!(await waitFor(page, () => getComputedStyle(document.getElementById('start')).display !== 'none',
    60000, 'the page without loading.png offers to start'))) return;
  await startShow(page);
  await waitFor(page, () => Module.ended, 10000, 'the show stops');
  const shown = await page.evaluate(() => ({
    text: document.getElementById('message-text').textContent,
    visible: getComputedStyle(document.getElementById('message')).display !== 'none',
    ended: Module.ended,
  }));
  check(shown.visible && shown.text === 'Could not find file: "data/loading.{png jpg }"!',
    `without data/loading.png the page shows: ${JSON.stringify(shown.text)}`);
  check(shown.ended && shown.ended.fatal, 'and the show has stopped');
  await page.screenshot({ path: path.join(outDir, 'page-message.png') });
  check(!log.faults.some((f) => f.startsWith('exception')), `no exception ${log.faults.join(' | ')}`);
  await page.close();
}

async function playthrough(browser, schedule) {
  const { page, log } = await openPage(browser, `${baseUrl}/index.html`);
  if (!(await waitFor(page, () => getComputedStyle(document.getElementById('start')).display !== 'none',
    60000, 'the page offers to start'))) return;
  // Frames counted where the browser shows them: one per animation frame, with the show's time.
  await page.evaluate(() => {
    // The main thread's share of each frame: the show's pass (wasm and the GL calls it
    // issues) between the main loop's hooks.
    window.passMs = [];
    let passStart = 0;
    Module.preMainLoop = () => { passStart = performance.now(); };
    Module.postMainLoop = () => {
      window.passMs.push([Module._lumorakShowTime(), performance.now() - passStart]);
    };
    window.frameTimes = [];
    const count = () => {
      if (Module._lumorakShowTime && !Module.ended) window.frameTimes.push(Module._lumorakShowTime());
      if (!Module.ended) requestAnimationFrame(count);
    };
    requestAnimationFrame(count);
  });
  const clicked = Date.now();
  await startShow(page);
  const shots = [20, 75, 115];
  for (const at of shots) {
    if (await waitFor(page, (t) => Module.ended || Module._lumorakShowTime() >= t, 200000,
      `the show reaches ${at} s`, at)) {
      const now = await page.evaluate(() => (Module.ended ? -1 : Module._lumorakShowTime()));
      check(now >= at, `the show plays through ${at} s (screenshot at ${now.toFixed(2)} s)`);
      await page.screenshot({ path: path.join(outDir, `page-${at}s.png`) });
    }
  }
  await waitFor(page, () => Module.ended, 200000, 'the show ends by itself');
  const wallSeconds = (Date.now() - clicked) / 1000;
  const result = await page.evaluate(() => ({ ended: Module.ended, times: window.frameTimes,
    passes: window.passMs, endText: document.getElementById('end-text').textContent }));
  const last = result.times.length ? result.times[result.times.length - 1] : 0;
  check(result.ended && result.ended.status === 0 && !result.ended.fatal && last > 145,
    `the whole show plays to its end: last frame at ${last.toFixed(2)} s, ${wallSeconds.toFixed(1)} s after the click, "${result.endText}"`);
  // Frames per second by scene: distinct show times per second of show time.
  const median = (values) => {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted.length ? sorted[Math.floor(sorted.length / 2)] : 0;
  };
  const rates = schedule.map(({ name, start, end }) => {
    const inScene = result.times.filter((t) => t >= start && t < end);
    const distinct = new Set(inScene).size;
    const passes = result.passes.filter(([t]) => t >= start && t < end).map(([, ms]) => ms);
    return `${name} ${(distinct / (end - start)).toFixed(1)} fps (pass ${median(passes).toFixed(1)} ms)`;
  });
  console.log(`# frames per second by scene, with the median main-thread pass: ${rates.join(', ')}`);
  check(log.faults.length === 0, `a clean console through the whole show ${log.faults.slice(0, 5).join(' | ')}`);
  await page.screenshot({ path: path.join(outDir, 'page-ended.png') });
  await page.close();
}

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--use-angle=swiftshader',
    '--enable-unsafe-swiftshader', '--window-size=1024,768'],
});
try {
  const schedule = JSON.parse(process.env.LUMORAK_SCHEDULE || '[]');
  for (const part of parts) {
    console.log(`# ${part}`);
    if (part === 'golden') await golden(browser);
    else if (part === 'play') await play(browser);
    else if (part === 'missing') await missing(browser);
    else if (part === 'playthrough') await playthrough(browser, schedule);
    else check(false, `unknown part ${part}`);
  }
} finally {
  await browser.close();
}
process.exit(failures === 0 ? 0 : 1);
