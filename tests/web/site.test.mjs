// The page in headless Chromium on this machine, no controller needed: a
// narrow window and 200 % zoom, the focus after each box and the menu, the
// page opened from disk, drag and drop, a slow answer from the chooser, the
// offline copy (installable, a reload with the network cut, a new version of
// the site taken whole or not at all), the page embedded as an element, and
// axe-core on each state. One browser for all; each test serves its own copy
// of the site on a port of its own, so their origins (and offline copies)
// stay apart.
//
//   node --test site.test.mjs   (TVX_SITE, TVX_HEX, TVX_CHECKSUM, TVX_AXE,
//                                TVX_STAMP, TVX_WORKER, TVX_SHOTS)
import {execFileSync} from 'node:child_process';
import {cpSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {Browser, serve} from './browser.mjs';
import {until} from './stall.mjs';

const env = (name) => {
  if (!process.env[name]) throw new Error(`${name} is not set`);
  return process.env[name];
};
const siteDir = env('TVX_SITE');
const hex = env('TVX_HEX');
const checksum = env('TVX_CHECKSUM');
const shots = env('TVX_SHOTS');
const axeSource = readFileSync(env('TVX_AXE'), 'utf8');
const quiet = Number(process.env.TVX_QUIET || 60000);

// A second file: one byte at 0x0000, so the checksum is C000 - FE.
const scratch = mkdtempSync(join(tmpdir(), 'tvx-site-'));
const otherHex = join(scratch, 'otro.hex');
writeFileSync(otherHex, ':0100000001FE\n:00000001FF\n');
const otherChecksum = 'BF02';

let browser;
before(async () => { browser = await Browser.launch('/usr/lib/chromium/chromium'); });
after(async () => {
  await browser.close(quiet);
  rmSync(scratch, {recursive: true, force: true});
});

// A copy of the site to serve and change; `extra` adds files to it.
const copySite = (name, extra = {}) => {
  const dir = join(scratch, name);
  cpSync(siteDir, dir, {recursive: true});
  for (const [file, text] of Object.entries(extra)) writeFileSync(join(dir, file), text);
  return dir;
};

// The page laid out for good: the dialog, and the release chooser below it
// listing the site's test catalogue.
const settled = (doc = 'document') => `${doc}?.querySelector('#IDOK') != null &&
  ${doc}.querySelector('#IDD_RELEASES .list li') !== null`;

// The site served, a tab open on it; each wait lasts while the server is
// asked for things or the page changes.
async function open(dir, path = '/', ready = settled(), instead = {}) {
  const site = await serve(dir, 0, instead);
  const page = await browser.newPage();
  const progress = async () => [site.log.length,
    await page.eval(`[document.readyState, document.getElementsByTagName('*').length]`).catch(() => null)];
  page.waitUntil = (expression, what) => page.waitFor(expression, what, progress, {quiet, poll: 100});
  page.done = async () => {
    await page.close();
    site.server.close();
  };
  await page.goto(`${site.origin}${path}`);
  await page.waitUntil(ready, 'the dialog');
  return {site, page};
}

const focused = (page) => page.eval(`document.activeElement.id || document.activeElement.textContent ||
  document.activeElement.tagName`);
const checksumShown = (page) => page.eval(`document.querySelector('#IDC_CHECKSUM').textContent`);

async function chooseFile(page, file) {
  page.fileToChoose = file;
  await page.click('#IDC_OPEN_HEX');
  await page.waitUntil(`document.querySelector('#IDC_FILE_PATH').value === ${JSON.stringify(file.split('/').pop())}`,
    'the chosen file');
}

async function openAbout(page) {
  await page.key(' ', 'Space', 32, 1);  // Alt+Space: the window's menu
  await page.waitUntil(`document.activeElement.id === 'IDM_ABOUTBOX'`, 'the menu');
  await page.key('Enter', 'Enter', 13);
  await page.waitUntil(`document.querySelector('#IDD_ABOUTBOX[open]')`, 'the About box');
}

// ACTUALIZAR with no file: "Debes elegir un archivo", a box and nothing else.
async function openBox(page) {
  await page.key('Enter', 'Enter', 13);
  await page.waitUntil(`document.querySelector('dialog.msgbox[open]')`, 'the message box');
}

const axe = async (page) => {
  if (!(await page.eval(`typeof axe !== 'undefined'`))) await page.eval(axeSource);
  return page.eval(`axe.run(document, {resultTypes: ['violations']}).then((r) => r.violations.map((v) =>
    v.id + ': ' + v.nodes.map((n) => n.target.join(' ')).join(', ')))`);
};

// Every control of every window, box and menu shown that lies outside the
// area that can be scrolled to: the page's, or, for a box over the page
// (which stays put while the page scrolls), the box's own inside a box that
// itself lies within the window; and every box or menu open that is not
// within the window, or that scrolls sideways.
const kOutOfReach = `(() => {
  const out = [];
  const page = document.scrollingElement;
  const name = (e) => e.id || e.textContent.trim() || e.getAttribute('aria-label') || e.className;
  const outside = (r, a) => r.left < a.left - 0.5 || r.top < a.top - 0.5 ||
    r.right > a.left + a.width + 0.5 || r.bottom > a.top + a.height + 0.5;
  for (const box of document.querySelectorAll('dialog[open], .menu:not([hidden])')) {
    const r = box.getBoundingClientRect();
    const what = 'box ' + name(box.querySelector('h2') || box);
    if (outside(r, {left: 0, top: 0, width: innerWidth, height: innerHeight})) {
      out.push(what + ' at ' + [r.left, r.top, r.right, r.bottom].map(Math.round).join(','));
    }
    if (box.scrollWidth > box.clientWidth + 1) out.push(what + ' scrolls sideways');
  }
  const controls = document.querySelectorAll('.window .control, .window .caption button, .window .buttons button, ' +
    '.menu:not([hidden]) [role=menuitem]');
  for (const e of controls) {
    const r = e.getBoundingClientRect();
    if (!r.width || !r.height) continue;
    const box = e.closest('dialog[open]');
    const b = box && box.getBoundingClientRect();
    const area = box ? {left: b.left + box.clientLeft - box.scrollLeft, top: b.top + box.clientTop - box.scrollTop,
                        width: box.scrollWidth, height: box.scrollHeight}
                     : {left: -scrollX, top: -scrollY, width: page.scrollWidth, height: page.scrollHeight};
    if (outside(r, area)) out.push(name(e) + ' at ' + [r.left, r.top, r.right, r.bottom].map(Math.round).join(','));
  }
  return out;
})()`;

test('a narrow window, 200 % and 400 % zoom, scrolled: boxes and menu in view, every control within reach', async () => {
  const {page, site} = await open(siteDir);
  try {
    // 320 CSS px wide, as WCAG's reflow asks; a 900 x 600 window at 200 %
    // and 400 %; a phone's window; scrolled to the page's far corner
    // (ACTUALIZAR in view), where the boxes once opened out of view.
    for (const [width, height, scale, label, scrolled] of [[320, 480, 1, '320px', false],
      [450, 300, 2, 'zoom200', false], [375, 667, 1, 'phone-scrolled', true], [450, 300, 2, 'zoom200-scrolled', true],
      [225, 150, 4, 'zoom400-scrolled', true]]) {
      await page.viewport(width, height, scale);
      await page.eval(`document.querySelector('#IDOK').focus()`);
      await page.waitUntil(`innerWidth === ${width}`, 'the new size');
      if (scrolled) {
        await page.eval(`scrollTo(document.scrollingElement.scrollWidth, document.scrollingElement.scrollHeight)`);
        await page.waitUntil(`scrollX > 0`, 'the page scrolled');
      }
      assert.deepEqual(await page.eval(kOutOfReach), [], `${label}: the dialog`);
      await page.screenshot(join(shots, `web-${label}.png`));
      await page.key(' ', 'Space', 32, 1);
      await page.waitUntil(`document.activeElement.id === 'IDM_ABOUTBOX'`, 'the menu');
      assert.deepEqual(await page.eval(kOutOfReach), [], `${label}: the menu`);
      await page.key('Enter', 'Enter', 13);
      await page.waitUntil(`document.querySelector('#IDD_ABOUTBOX[open]')`, 'the About box');
      assert.deepEqual(await page.eval(kOutOfReach), [], `${label}: the About box`);
      await page.screenshot(join(shots, `web-${label}-about.png`));
      await page.key('Escape', 'Escape', 27);
      await page.waitUntil(`!document.querySelector('#IDD_ABOUTBOX')`, 'the About box to close');
      await openBox(page);
      assert.deepEqual(await page.eval(kOutOfReach), [], `${label}: the message box`);
      assert.deepEqual(await axe(page), [], `${label}: axe, message box`);
      await page.key('Enter', 'Enter', 13);
      await page.waitUntil(`!document.querySelector('dialog.msgbox')`, 'the box to close');
      assert.deepEqual(await axe(page), [], `${label}: axe`);
    }
    // Opened in a narrow window: ACTUALIZAR has the focus, and the page is
    // not scrolled to it.
    await page.viewport(320, 480, 1);
    await page.goto(`${site.origin}/`);
    await page.waitUntil(`${settled()} && document.activeElement.id === 'IDOK'`, 'the dialog, narrow');
    assert.deepEqual(await page.eval(`[scrollX, scrollY]`), [0, 0], '320px: opened at the page\'s start');
  } finally {
    await page.done();
  }
  assert.ok(site.log.length > 0);
});

test('the focus goes back where it was after each box and the menu, never to the body', async () => {
  const {page} = await open(siteDir);
  try {
    assert.equal(await focused(page), 'IDOK', 'at the start');
    const cases = [
      // [where the focus is, how the box is opened and closed]
      ['IDOK', 'box', 'Enter'],
      ['IDC_FILE_PATH', 'box', 'click'],
      ['IDC_OPEN_HEX', 'menu', 'Escape'],
      ['IDCANCEL', 'menu', 'click outside'],
      ['IDC_OPEN_HEX', 'about', 'Escape'],
      ['IDC_FILE_PATH', 'about', 'click'],
    ];
    for (const [start, what, how] of cases) {
      const label = `${what} closed by ${how}, from ${start}`;
      await page.eval(`document.querySelector('#${start}').focus()`);
      if (what === 'box') {
        await page.key('Enter', 'Enter', 13);  // on ACTUALIZAR, or outside a button: ACTUALIZAR
        await page.waitUntil(`document.querySelector('dialog.msgbox[open]')`, 'the message box');
        assert.equal(await page.eval(`document.querySelector('dialog.msgbox .text').textContent`), 'Debes elegir un archivo');
        if (how === 'Enter') await page.key('Enter', 'Enter', 13);
        else await page.click('dialog.msgbox button');
        await page.waitUntil(`!document.querySelector('dialog.msgbox')`, 'the box to close');
      } else if (what === 'menu') {
        await page.key(' ', 'Space', 32, 1);
        await page.waitUntil(`document.activeElement.id === 'IDM_ABOUTBOX'`, 'the menu');
        assert.deepEqual(await axe(page), [], 'axe, the menu open');
        if (how === 'Escape') await page.key('Escape', 'Escape', 27);
        else await page.clickAt({x: 5, y: 5});
        await page.waitUntil(`document.querySelector('.menu').hidden`, 'the menu to close');
      } else {
        await openAbout(page);
        assert.deepEqual(await axe(page), [], 'axe, the About box');
        if (how === 'Escape') await page.key('Escape', 'Escape', 27);
        else await page.click('#IDD_ABOUTBOX button.control');
        await page.waitUntil(`!document.querySelector('#IDD_ABOUTBOX')`, 'the About box to close');
      }
      assert.equal(await focused(page), start, label);
    }
    // The bar is named by its label.
    assert.equal(await page.eval(`document.querySelector('#IDC_PROGRESS').labels.length ||
      document.getElementById(document.querySelector('#IDC_PROGRESS').getAttribute('aria-labelledby')).textContent`),
    'Progreso:');
  } finally {
    await page.done();
  }
});

test('a file dropped on the page loads as "Abrir HEX" does; not while a box is open', async () => {
  const {page} = await open(siteDir);
  const caption = `document.querySelector('dialog.msgbox h2').textContent`;
  try {
    // The program's boxes' caption, for the page's own box below.
    await openBox(page);
    const programs = await page.eval(caption);
    await page.key('Enter', 'Enter', 13);
    await page.waitUntil(`!document.querySelector('dialog.msgbox')`, 'the box to close');
    // Dropped while a release has the focus: then ACTUALIZAR has it, so that
    // Enter updates rather than downloads the release over the file.
    await page.eval(`document.querySelector('${release('1.2')}').focus()`);
    await page.drop('#IDD_UPDATER_DIALOG', [hex]);
    await page.waitUntil(`document.querySelector('#IDC_CHECKSUM').textContent.length === 4 &&
      document.activeElement.id === 'IDOK'`, 'the checksum, and the focus on ACTUALIZAR');
    assert.equal(await checksumShown(page), checksum);
    assert.equal(await page.eval(`document.querySelector('#IDC_FILE_PATH').value`), hex.split('/').pop());
    // A drop while the About box is open is refused.
    await openAbout(page);
    await page.drop('#IDD_ABOUTBOX', [otherHex]);
    await page.key('Escape', 'Escape', 27);
    await page.waitUntil(`!document.querySelector('#IDD_ABOUTBOX')`, 'the About box to close');
    assert.equal(await checksumShown(page), checksum, 'refused while the About box is open');
    await page.drop('#IDC_PROGRESS', [otherHex]);
    await page.waitUntil(`document.querySelector('#IDC_CHECKSUM').textContent === '${otherChecksum}'`, 'the new checksum');
    assert.equal(await focused(page), 'IDOK');
    // Two files: neither is taken, and the page says why.
    await page.drop('#IDD_UPDATER_DIALOG', [hex, otherHex]);
    await page.waitUntil(`document.querySelector('dialog.msgbox[open]')`, 'the refusal');
    assert.match(await page.eval(`document.querySelector('dialog.msgbox .text').textContent`), /un solo archivo/);
    assert.equal(await page.eval(caption), programs, 'captioned as the program\'s boxes');
    await page.key('Enter', 'Enter', 13);
    await page.waitUntil(`!document.querySelector('dialog.msgbox')`, 'the box to close');
    assert.equal(await checksumShown(page), otherChecksum, 'two files: nothing loaded');
    // A drop while the window's menu is open loads, and the menu closes.
    await page.key(' ', 'Space', 32, 1);
    await page.waitUntil(`document.activeElement.id === 'IDM_ABOUTBOX'`, 'the menu');
    await page.drop('#IDC_PROGRESS', [hex]);
    await page.waitUntil(`document.querySelector('#IDC_CHECKSUM').textContent === '${checksum}'`, 'the checksum');
    assert.equal(await page.eval(`document.querySelector('.menu').hidden`), true, 'the menu closed');
  } finally {
    await page.done();
  }
});

test('a chooser that answers after the focus came back still gives its file', async () => {
  const {page} = await open(siteDir);
  try {
    // The page guesses a cancel when the focus comes back with no file, as
    // older browsers tell no cancel; here the answer comes after that guess.
    page.holdChooser = true;
    page.fileToChoose = hex;
    await page.click('#IDC_OPEN_HEX');
    await page.waitUntil(`document.querySelector('#archivo').dataset.waiting === '1'`, 'the chooser');
    await page.eval(`window.dispatchEvent(new FocusEvent('focus'))`);
    await page.waitUntil(`document.querySelector('#archivo').dataset.waiting === undefined`, 'the guessed cancel');
    assert.equal(await checksumShown(page), '', 'nothing chosen yet');
    await page.answerChooser();
    await page.waitUntil(`document.querySelector('#IDC_CHECKSUM').textContent.length === 4`, 'the checksum');
    assert.equal(await checksumShown(page), checksum);
    // And the next choice goes as usual.
    page.holdChooser = false;
    await chooseFile(page, otherHex);
    assert.equal(await checksumShown(page), otherChecksum);
  } finally {
    await page.done();
  }
});

test('opened from disk, the page says it must be served, and how', async () => {
  const page = await browser.newPage();
  try {
    await page.goto(`file://${siteDir}/index.html`);
    await page.waitFor(`!document.querySelector('#aviso').hidden`, 'the notice', async () => null, {quiet, poll: 100});
    const notice = await page.eval(`document.querySelector('main #aviso').textContent`);
    assert.match(notice, /debe servirla un servidor web/);
    assert.match(notice, /python3 -m http\.server --bind 127\.0\.0\.1 8000/);
    assert.deepEqual(page.console, []);
    await page.screenshot(join(shots, 'web-from-disk.png'));
  } finally {
    await page.close();
  }
});

// The digest of each file that the page gets from the site, through its
// service worker when it has one.
const pageDigests = (page, names) => page.eval(`Promise.all(${JSON.stringify(names)}.map((n) =>
  fetch(n).then((r) => r.arrayBuffer()).then((b) => crypto.subtle.digest('SHA-256', b)).then((d) =>
    [n, Array.from(new Uint8Array(d), (x) => x.toString(16).padStart(2, '0')).join('')])))`);
const workerFiles = (dir) => Object.fromEntries([...readFileSync(join(dir, 'tolvanex-updater-sw.js'), 'utf8')
  .matchAll(/^ {2}"([^"]+)": "([0-9a-f]{64})",$/gm)].map((m) => [m[1], m[2]]));
const siteCaches = `caches.keys().then((k) => k.filter((n) => n.startsWith('tolvanex-site')))`;
const controlled = `navigator.serviceWorker.controller !== null`;
// The cache of the site in `dir` served at `scope`.
const cacheOf = (dir, scope) => `tolvanex-site:${scope}:` + readFileSync(join(dir, 'tolvanex-updater-sw.js'), 'utf8')
  .match(/VERSION = '([0-9a-f]+)'/)[1];

const release = (version) => `#IDD_RELEASES button[data-key="${version}"]`;
async function chooseRelease(page, version) {
  await page.waitUntil(`document.querySelector('${release(version)}:not(:disabled)') !== null`, 'the releases');
  await page.click(release(version));
  await page.waitUntil(`document.querySelector('#IDC_FILE_PATH').value === '${version}.hex (versión ${version})'`,
    `release ${version}`);
}

test('installable, and after one visit the page and its releases work with the network cut', async () => {
  // ?version=1.2: the catalogue and that release come before the offline
  // copy takes over. Release 1.1's file never ends.
  const endless = {sent: 0, closed: false};
  const {site, page} = await open(copySite('offline'), '/?version=1.2', settled(), {'/releases/1.1.hex': async (req, res) => {
    res.writeHead(200, {'Content-Type': 'text/plain'});
    res.on('close', () => { endless.closed = true; });
    const lines = Buffer.from(':10000000000102030405060708090A0B0C0D0E0F78\n'.repeat(1000));
    while (!endless.closed) {
      endless.sent += lines.length;
      if (!res.write(lines)) await new Promise((resolve) => res.once('drain', resolve).once('close', resolve));
      else await new Promise(setImmediate);
    }
  }});
  try {
    await page.waitUntil(controlled, 'the offline copy');
    await page.waitUntil(`caches.open('tolvanex-fetched').then(async (c) => !!(await c.match('firmware.json')) &&
      !!(await c.match('releases/1.2.hex')))`, 'the catalogue and the release kept');
    assert.deepEqual((await page.send('Page.getInstallabilityErrors')).installabilityErrors, []);
    const manifest = await page.send('Page.getAppManifest');
    assert.deepEqual(manifest.errors, []);
    const files = workerFiles(siteDir);
    const catalogue = ['firmware.json', 'releases'];
    assert.deepEqual(Object.keys(files).sort(), readdirSync(siteDir)
      .filter((f) => f !== 'tolvanex-updater-sw.js' && !catalogue.includes(f)).sort(),
    'the worker keeps every file of the site');
    await page.waitUntil(`document.querySelector('#IDC_FILE_PATH').value === '1.2.hex (versión 1.2)'`, 'release 1.2');
    assert.equal(await checksumShown(page), checksum);
    // Through the offline copy, a file that never ends is cut where the page
    // stops taking it: refused by its size, not kept, its download ended.
    await page.click(release('1.1'));
    await page.waitUntil(`document.querySelector('dialog.msgbox[open]')`, 'the refusal');
    assert.match(await page.eval(`document.querySelector('dialog.msgbox .text').textContent`), /1\.1/);
    await until('the endless download to end', () => endless.closed, () => endless.sent, {quiet});
    assert.ok(endless.sent < 64 << 20, `${endless.sent} bytes sent`);
    assert.equal(await page.eval(`caches.open('tolvanex-fetched').then((c) => c.match('releases/1.1.hex'))
      .then((r) => r === undefined)`), true, 'not kept');
    await page.key('Enter', 'Enter', 13);
    await page.waitUntil(`!document.querySelector('dialog.msgbox')`, 'the box to close');
    assert.equal(await checksumShown(page), checksum, 'release 1.2 stays');

    site.down = true;
    await page.send('Network.enable');
    await page.send('Network.emulateNetworkConditions', {offline: true, latency: 0, downloadThroughput: -1,
      uploadThroughput: -1});
    const before = site.log.filter((p) => !p.startsWith('down ')).length;
    await page.goto(`${site.origin}/`);
    await page.waitUntil(`${settled()} && document.readyState === 'complete'`,
      'the dialog, offline');
    await chooseRelease(page, '1.2');
    assert.equal(await checksumShown(page), checksum, 'a kept release, offline');
    await chooseFile(page, otherHex);
    assert.equal(await checksumShown(page), otherChecksum, 'a file of the user, offline');
    assert.deepEqual(await page.eval('navigator.onLine'), false);
    assert.equal(site.log.filter((p) => !p.startsWith('down ')).length, before, 'nothing reached the server');
    assert.deepEqual(page.console.filter((l) => !/ERR_INTERNET_DISCONNECTED|Failed to fetch|sw\.js/.test(l)), []);
  } finally {
    await page.send('Network.emulateNetworkConditions', {offline: false, latency: 0, downloadThroughput: -1,
      uploadThroughput: -1}).catch(() => {});
    await page.done();
  }
});

test('a new version of the site replaces the old one whole, and a half-uploaded one not at all', async () => {
  // Version B: a changed page and stylesheet, its worker stamped by the
  // build's own script; C: B's worker and page over A's stylesheet.
  const a = copySite('version-a');
  const b = copySite('version-b');
  writeFileSync(join(b, 'index.html'), readFileSync(join(a, 'index.html'), 'utf8')
    .replace('<meta charset="utf-8">', '<meta charset="utf-8">\n<meta name="tolvanex-test" content="B">'));
  writeFileSync(join(b, 'tolvanex-updater.css'), readFileSync(join(a, 'tolvanex-updater.css'), 'utf8') + '/* B */\n');
  const names = Object.keys(workerFiles(a));
  execFileSync('cmake', [`-DSITE=${b}`, `-DTEMPLATE=${env('TVX_WORKER')}`, `-DOUT=${b}/tolvanex-updater-sw.js`,
    `-DFILES=${names.join(';')}`, '-P', env('TVX_STAMP')]);
  const c = copySite('version-c');
  cpSync(join(b, 'index.html'), join(c, 'index.html'));
  cpSync(join(b, 'tolvanex-updater-sw.js'), join(c, 'tolvanex-updater-sw.js'));
  const version = (dir) => cacheOf(dir, '/');
  assert.notEqual(version(a), version(b));

  const {site, page} = await open(a);
  try {
    await page.waitUntil(controlled, 'the offline copy');
    assert.deepEqual(await page.eval(siteCaches), [version(a)]);

    // C: its install fails on the stylesheet; A stays, whole.
    site.root = c;
    const state = await page.eval(`navigator.serviceWorker.getRegistration().then(async (reg) => {
      await reg.update();
      const w = reg.installing || reg.waiting;
      if (!w) return 'no new worker';
      return w.state === 'redundant' ? w.state : new Promise((resolve) => w.addEventListener('statechange', () => {
        if (w.state === 'redundant' || w.state === 'activated') resolve(w.state);
      }));
    })`);
    assert.equal(state, 'redundant', 'a site half uploaded is not installed');
    assert.deepEqual(await page.eval(siteCaches), [version(a)]);
    assert.deepEqual(Object.fromEntries(await pageDigests(page, names)), workerFiles(a));

    // B: the next visit takes it, and the page, untouched, reloads into it.
    site.root = b;
    await page.goto(`${site.origin}/`);
    await page.waitUntil(`document.querySelector('meta[name=tolvanex-test]') !== null &&
      ${settled()}`, 'the new version');
    await page.waitUntil(`${siteCaches}.then((k) => k.length === 1 && k[0] === '${version(b)}')`, 'the old copy to go');
    assert.deepEqual(Object.fromEntries(await pageDigests(page, names)), workerFiles(b));
    await chooseFile(page, hex);
    assert.equal(await checksumShown(page), checksum);
  } finally {
    await page.done();
  }
});

test('<tolvanex-updater> puts the page in another page of the site', async () => {
  const dir = copySite('embedded', {'tienda.html': `<!doctype html>
<html lang="es"><head><meta charset="utf-8"><title>Tienda</title>
<script src="tolvanex-updater-element.js" defer></script></head>
<body><main><h1>Actualice su mando</h1><tolvanex-updater></tolvanex-updater></main></body></html>
`});
  const inner = `document.querySelector('tolvanex-updater').shadowRoot.querySelector('iframe')`;
  const {page} = await open(dir, '/tienda.html', settled(`${inner}.contentDocument`));
  try {
    // The frame as large as the updater's window.
    await page.waitUntil(`(() => { const f = ${inner}.getBoundingClientRect();
      const w = ${inner}.contentDocument.querySelector('#IDD_UPDATER_DIALOG').getBoundingClientRect();
      return f.width >= w.right && f.height >= w.bottom && f.width < w.right + 8; })()`, 'the frame to fit');
    page.fileToChoose = hex;
    const at = await page.eval(`(() => { const f = ${inner}.getBoundingClientRect();
      const b = ${inner}.contentDocument.querySelector('#IDC_OPEN_HEX').getBoundingClientRect();
      return {x: f.left + b.left + b.width / 2, y: f.top + b.top + b.height / 2}; })()`);
    await page.clickAt(at);
    await page.waitUntil(`${inner}.contentDocument.querySelector('#IDC_CHECKSUM').textContent.length === 4`,
      'the checksum in the element');
    assert.equal(await page.eval(`${inner}.contentDocument.querySelector('#IDC_CHECKSUM').textContent`), checksum);
    assert.equal(await page.eval('document.title'), 'Tienda', 'the page around keeps its title');
    assert.deepEqual(await axe(page), [], 'axe, the page around');
    await page.screenshot(join(shots, 'web-element.png'));
  } finally {
    await page.done();
  }
});

// A catalogue whose notes run long, as a maker's real ones do.
const kLongNote = 'Corrige la deriva del eje X que algunos mandos mostraban tras horas de juego, mejora la respuesta ' +
  'de los gatillos analógicos, reduce el consumo en reposo y arregla el emparejamiento con consolas que ya tenían ' +
  'otro mando registrado; tras actualizar, vuelva a emparejar el mando una vez desde el menú de la consola.';
const longNotes = (dir) => {
  const file = join(dir, 'firmware.json');
  const catalogue = JSON.parse(readFileSync(file, 'utf8'));
  for (const r of catalogue.releases) r.notes = kLongNote;
  writeFileSync(file, JSON.stringify(catalogue));
  return dir;
};

test('in a frame of another site, with long notes: the window and its releases in the frame, nothing wider', async () => {
  // The README's iframe, on a shop's page of another origin.
  const updater = await serve(longNotes(copySite('framed')), 0);
  const shop = join(scratch, 'shop');
  mkdirSync(shop);
  writeFileSync(join(shop, 'index.html'), `<!doctype html>
<html lang="es"><head><meta charset="utf-8"><title>Tienda</title></head>
<body><main><h1>Actualice su mando</h1>
<script>window.sizes = []; addEventListener('message', (e) => e.data.tolvanexUpdater && sizes.push(e.data.tolvanexUpdater));</script>
<p style="height: 150vh">La página de la tienda, más alta que la ventana.</p>
<iframe src="${updater.origin}/" allow="hid" title="Tolvanex Updater" width="600" height="420"></iframe>
</main></body></html>
`);
  const {page} = await open(shop, '/', `document.querySelector('iframe') !== null`);
  try {
    // Inside the frame, through a world of the test's own.
    let world = null;
    const frame = async () => {
      const {frameTree: t} = await page.send('Page.getFrameTree');
      const child = (t.childFrames || [])[0];
      if (!child) return null;
      world ||= (await page.send('Page.createIsolatedWorld', {frameId: child.frame.id})).executionContextId;
      return world;
    };
    // Undefined while the frame has no document to look into.
    const inFrame = async (expression) => {
      try {
        const contextId = await frame();
        const r = contextId &&
          await page.send('Runtime.evaluate', {expression, contextId, returnByValue: true, awaitPromise: true});
        return r && !r.exceptionDetails ? r.result.value : undefined;
      } catch {
        world = null;  // the frame's document changed
        return undefined;
      }
    };
    const progress = async () => [updater.log.length, await inFrame(`document.getElementsByTagName('*').length`)];
    await until('the dialog and the releases in the frame', () => inFrame(settled()), progress, {quiet, poll: 100});
    const seen = await inFrame(`(() => {
      const view = {width: innerWidth, height: innerHeight};
      const r = (s) => document.querySelector(s).getBoundingClientRect();
      const within = (b) => b.left >= 0 && b.top >= 0 && b.right <= view.width + 0.5 && b.bottom <= view.height + 0.5;
      return {wide: document.scrollingElement.scrollWidth > innerWidth, window: within(r('#IDD_UPDATER_DIALOG')),
              release: within(r('#IDD_RELEASES button')), notes: within(r('#IDD_RELEASES .description'))};
    })()`);
    assert.deepEqual(seen, {wide: false, window: true, release: true, notes: true});
    // The frame, below the shop's first screen, neither scrolled the shop
    // to itself nor took its focus; once in view, it tells its size.
    assert.deepEqual(await page.eval(`[scrollY, document.activeElement.tagName]`), [0, 'BODY']);
    await page.eval(`document.querySelector('iframe').scrollIntoView()`);
    await page.waitUntil(`sizes.length > 0`, 'the frame\'s size');
    const sizes = await page.eval('sizes');
    assert.ok(sizes.length > 0 && sizes.at(-1).width <= 600, `the size told: ${JSON.stringify(sizes.at(-1))}`);
    await inFrame(axeSource);
    assert.deepEqual(await inFrame(`axe.run(document, {resultTypes: ['violations']}).then((r) => r.violations.map((v) =>
      v.id + ': ' + v.nodes.map((n) => n.target.join(' ')).join(', ')))`), [], 'axe, in the frame');
    await page.screenshot(join(shots, 'web-iframe.png'));
  } finally {
    await page.done();
    updater.server.close();
  }
});

test('<tolvanex-updater height>: a taller frame lists more of the releases', async () => {
  const dir = longNotes(copySite('element-height', {'tienda.html': `<!doctype html>
<html lang="es"><head><meta charset="utf-8"><title>Tienda</title>
<script src="tolvanex-updater-element.js" defer></script></head>
<body><main><h1>Actualice su mando</h1><tolvanex-updater></tolvanex-updater></main></body></html>
`}));
  const inner = `document.querySelector('tolvanex-updater').shadowRoot.querySelector('iframe')`;
  const list = `${inner}.contentDocument.querySelector('#IDD_RELEASES .list')`;
  const {page} = await open(dir, '/tienda.html', settled(`${inner}.contentDocument`));
  try {
    await page.waitUntil(`${inner}.getBoundingClientRect().height >= ${inner}.contentDocument.body.scrollHeight &&
      ${list}.scrollHeight > ${list}.clientHeight`, 'the frame to fit, the list scrolling');
    const shown = await page.eval(`${list}.clientHeight`);
    assert.equal(await page.eval(`${inner}.contentDocument.scrollingElement.scrollWidth <= ${inner}.clientWidth`), true);
    await page.eval(`document.querySelector('tolvanex-updater').setAttribute('height', ${inner}.clientHeight + 300)`);
    await page.waitUntil(`${list}.scrollHeight <= ${list}.clientHeight`, 'the whole list');
    assert.ok(await page.eval(`${list}.clientHeight`) > shown);

    // A frame far taller than the window: a box opens in the part of the
    // frame in view, at the top of the page and scrolled to the frame's middle.
    await page.eval(`document.querySelector('tolvanex-updater').setAttribute('height', 2000)`);
    const seenTop = `getComputedStyle(${inner}.contentDocument.documentElement).getPropertyValue('--seen-top')`;
    const box = `${inner}.contentDocument.querySelector('dialog.msgbox[open]')`;
    for (const y of [0, 900]) {
      await page.eval(`scrollTo(0, ${y})`);
      await page.waitUntil(`${inner}.clientHeight === 2000 && scrollY === ${y} &&
        ${seenTop} === Math.max(0, Math.round(-${inner}.getBoundingClientRect().top)) + 'px'`, 'the part in view');
      await page.eval(`${inner}.contentWindow.focus();
        ${inner}.contentDocument.querySelector('#IDOK').focus({preventScroll: true})`);
      await page.key('Enter', 'Enter', 13);
      await page.waitUntil(box, 'the message box');
      assert.equal(await page.eval(`(() => { const f = ${inner}.getBoundingClientRect();
        const b = ${box}.getBoundingClientRect();
        return f.top + b.top >= 0 && f.top + b.bottom <= innerHeight; })()`), true, `scrolled to ${y}: the box in view`);
      await page.key('Enter', 'Enter', 13);
      await page.waitUntil(`!${box}`, 'the box to close');
    }
  } finally {
    await page.done();
  }
});

test('two copies of the page on one site keep their offline copies side by side', async () => {
  // /estable/ and /beta/, two versions; and caches named as before the
  // scope was in the name, one of each folder.
  const root = join(scratch, 'two');
  cpSync(siteDir, join(root, 'estable'), {recursive: true});
  const beta = join(root, 'beta');
  cpSync(siteDir, beta, {recursive: true});
  writeFileSync(join(beta, 'index.html'), readFileSync(join(siteDir, 'index.html'), 'utf8')
    .replace('<meta charset="utf-8">', '<meta charset="utf-8">\n<meta name="tolvanex-test" content="beta">'));
  execFileSync('cmake', [`-DSITE=${beta}`, `-DTEMPLATE=${env('TVX_WORKER')}`, `-DOUT=${beta}/tolvanex-updater-sw.js`,
    `-DFILES=${Object.keys(workerFiles(siteDir)).join(';')}`, '-P', env('TVX_STAMP')]);
  const {site, page} = await open(root, '/estable/firmware.json', 'true');
  try {
    await page.eval(`Promise.all([['tolvanex-site-00000000000000aa', 'estable'], ['tolvanex-site-00000000000000bb', 'beta']]
      .map(([name, folder]) => caches.open(name).then((c) => c.put('/' + folder + '/index.html', new Response('old')))))`);
    for (const folder of ['estable', 'beta']) {
      await page.goto(`${site.origin}/${folder}/`);
      await page.waitUntil(`${settled()} && ${controlled} && caches.has('${cacheOf(join(root, folder), `/${folder}/`)}')`,
        `/${folder}/ kept`);
    }
    assert.deepEqual((await page.eval(siteCaches)).sort(),
      [cacheOf(join(root, 'beta'), '/beta/'), cacheOf(join(root, 'estable'), '/estable/')].sort(),
      'each copy\'s own, and no old one of either');

    site.down = true;
    await page.send('Network.enable');
    await page.send('Network.emulateNetworkConditions', {offline: true, latency: 0, downloadThroughput: -1,
      uploadThroughput: -1});
    for (const folder of ['estable', 'beta']) {
      await page.goto(`${site.origin}/${folder}/`);
      await page.waitUntil(`document.querySelector('#IDOK') !== null && document.readyState === 'complete'`,
        `/${folder}/ offline`);
      assert.equal(await page.eval(`document.querySelector('meta[name=tolvanex-test]') !== null`), folder === 'beta');
    }
  } finally {
    await page.send('Network.emulateNetworkConditions', {offline: false, latency: 0, downloadThroughput: -1,
      uploadThroughput: -1}).catch(() => {});
    await page.done();
  }
});

test('a link names only a version: whatever else ?version= holds is never shown', async () => {
  const notice = 'El enlace no indica una versión de la lista; elija una.';
  const {site, page} = await open(siteDir, '/?version=9.9');
  try {
    for (const [asked, said] of [
      ['9.9', 'Este sitio no publica la versión «9.9»; elija una de la lista.'],
      ['', notice],
      ['2.0». AVISO DEL FABRICANTE: la versión 2.0 daña el mando. Descargue la versión corregida en ' +
       'https://example.com/ y ábrala con «Abrir HEX', notice],
      ['<img src=x onerror=alert(1)>', notice],
      ['1'.repeat(5000), notice],
      ['1.2.3.4.5.6.7.8.9.1.2.3.4.5.6.7.8', notice],  // the form, but 33 characters
      ['01.2', notice],
      ['1.2\u0000', notice],
      ['1.2\n', notice],
    ]) {
      await page.goto(`${site.origin}/?version=${encodeURIComponent(asked)}`);
      await page.waitUntil(`${settled()} && !document.querySelector('#IDD_RELEASES .status').hidden`, 'what the page says');
      assert.equal(await page.eval(`document.querySelector('#IDD_RELEASES .status').textContent`), said,
        `?version=${asked.slice(0, 40)}`);
      assert.equal(await page.eval(`document.querySelector('#IDD_UPDATER_DIALOG').getBoundingClientRect().bottom <=
        innerHeight`), true, 'the dialog in view');
    }
    assert.deepEqual(await axe(page), [], 'axe, a link refused');
    assert.equal(await page.eval(`document.querySelector('#IDC_FILE_PATH').value`), '', 'no release loaded');
  } finally {
    await page.done();
  }
});

test('a catalogue with no releases says so; a site with none shows no chooser', async () => {
  const status = `document.querySelector('#IDD_RELEASES .status')`;
  for (const [label, dir, ready, said] of [
    ['no releases', copySite('no-releases', {'firmware.json': '{"format": 1, "releases": []}'}),
      `!${status}.hidden && ${status}.textContent !== 'Cargando las versiones…'`,
      'El fabricante no ha publicado ninguna versión'],
    ['no catalogue', rmSync(join(copySite('no-catalogue'), 'firmware.json')) ?? join(scratch, 'no-catalogue'),
      `document.querySelector('#IDD_RELEASES').hidden`, null],
  ]) {
    const {page} = await open(dir, '/', `document.querySelector('#IDOK') !== null && ${ready}`);
    try {
      if (said) assert.equal(await page.eval(`${status}.textContent`), said, label);
      assert.deepEqual(await axe(page), [], `axe, ${label}`);
    } finally {
      await page.done();
    }
  }
});

test('the user\'s latest choice wins over a release still on its way; the list comes without moving the dialog', async () => {
  // First a file of the site, where no page runs, while the test gets ready.
  const {site, page} = await open(copySite('late'), '/firmware.json', 'true');
  const paused = [];
  page.browser.listeners.push((m) => {
    if (m.sessionId === page.sessionId && m.method === 'Fetch.requestPaused') paused.push(m.params);
  });
  // The first request held whose address ends so.
  const held = async (end) => {
    const at = () => paused.findIndex((p) => p.request.url.endsWith(end)) + 1;
    await until(end, at, () => site.log.length, {quiet});
    return paused.splice(at() - 1, 1)[0];
  };
  try {
    // The page fetches past its offline copy, so that the test holds the answers.
    await page.send('Network.enable');
    await page.send('Network.setBypassServiceWorker', {bypass: true});
    await page.send('Fetch.enable', {patterns: [{urlPattern: '*/firmware.json', requestStage: 'Response'},
      {urlPattern: '*/releases/1.2.hex', requestStage: 'Response'}]});
    // A link names 1.2; the user opens a file before the catalogue comes:
    // the file stays, and the link's release is not fetched.
    await page.goto(`${site.origin}/?version=1.2`);
    const catalogue = await held('/firmware.json');
    const status = `document.querySelector('#IDD_RELEASES [role=status]')`;
    await page.waitUntil(`document.querySelector('#IDOK') !== null && !${status}.hidden`, 'the dialog');
    assert.equal(await page.eval(`${status}.textContent`), 'Cargando las versiones…');
    const at = `JSON.stringify(document.querySelector('#IDD_UPDATER_DIALOG').getBoundingClientRect())`;
    const before = await page.eval(at);
    await chooseFile(page, hex);
    await page.send('Fetch.continueRequest', {requestId: catalogue.requestId});
    await page.waitUntil(settled(), 'the releases');
    assert.equal(await page.eval(at), before, 'the dialog where it was');
    assert.equal(await page.eval(`${status}.hidden`), true, 'nothing downloads');
    assert.equal(await page.eval(`document.querySelector('#IDC_FILE_PATH').value`), hex.split('/').pop());
    assert.equal(await checksumShown(page), checksum);

    // How each of the page's fetches ends: answered, or stopped.
    await page.eval(`(() => {
      const fetchNow = window.fetch;
      window.tvxFetched = {};
      window.fetch = (url, init) => {
        const answer = fetchNow(url, init);
        answer.then(() => { tvxFetched[url] = 'answered'; }, (e) => { tvxFetched[url] = e.name; });
        return answer;
      };
    })()`);
    await page.click(release('1.2'));
    const late = await held('/releases/1.2.hex');
    await page.waitUntil(`!document.querySelector('#IDD_RELEASES .status').hidden`, 'the download');
    assert.equal(await page.eval(`document.querySelector('#IDD_RELEASES [role=status]').textContent`),
      'Descargando la versión 1.2…');
    assert.deepEqual(await axe(page), [], 'axe, a release on its way');
    await chooseFile(page, otherHex);
    assert.equal(await checksumShown(page), otherChecksum);
    assert.equal(await page.eval(`document.querySelector('#IDD_RELEASES .status').hidden`), true, 'no download said');
    // The file loaded: Enter now updates, rather than choosing again.
    await page.waitUntil(`document.activeElement.id === 'IDOK'`, 'the focus on ACTUALIZAR');
    // The late answer: its fetch was stopped, and nothing replaces the user's file.
    await page.send('Fetch.continueRequest', {requestId: late.requestId}).catch(() => {});
    const ended = `tvxFetched[${JSON.stringify(late.request.url)}]`;
    assert.equal(await page.waitUntil(ended, 'the release\'s fetch to end'), 'AbortError');
    assert.equal(await page.eval(`document.querySelector('#IDC_FILE_PATH').value`), 'otro.hex');
    assert.equal(await checksumShown(page), otherChecksum);

    // "Salir" while a release is on its way: the page starts again, empty.
    await page.eval(`delete ${ended}`);
    await page.click(release('1.2'));
    const quit = await held('/releases/1.2.hex');
    await page.click('#IDCANCEL');
    await page.waitUntil(`document.querySelector('#IDC_FILE_PATH')?.value === '' && ${status}.hidden`,
      'the page to start again');
    await page.send('Fetch.continueRequest', {requestId: quit.requestId}).catch(() => {});
    assert.equal(await page.waitUntil(ended, 'the release\'s fetch to end'), 'AbortError');
    assert.equal(await page.eval(`document.querySelector('#IDC_FILE_PATH').value`), '', 'nothing loaded after Salir');
  } finally {
    await page.send('Fetch.disable').catch(() => {});
    await page.done();
  }
});
