// The page in headless Chromium on this machine, no controller needed: a
// narrow window and 200 % zoom, the focus after each box and the menu, the
// page opened from disk, drag and drop, a slow answer from the chooser, and
// axe-core on each state. One browser for all; each test serves its own copy
// of the site on a port of its own, so their origins (and offline copies)
// stay apart.
//
//   node --test site.test.mjs   (TVX_SITE, TVX_HEX, TVX_CHECKSUM, TVX_AXE, TVX_SHOTS)
import {cpSync, mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {Browser, serve} from './browser.mjs';

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

// The site served, a tab open on it; each wait lasts while the server is
// asked for things or the page changes.
async function open(dir, path = '/', ready = `document.querySelector('#IDOK') !== null`) {
  const site = await serve(dir, 0);
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
// itself lies within the window.
const kOutOfReach = `(() => {
  const out = [];
  const page = document.scrollingElement;
  const name = (e) => e.id || e.textContent.trim() || e.getAttribute('aria-label') || e.className;
  const outside = (r, a) => r.left < a.left - 0.5 || r.top < a.top - 0.5 ||
    r.right > a.left + a.width + 0.5 || r.bottom > a.top + a.height + 0.5;
  for (const box of document.querySelectorAll('dialog[open]')) {
    if (outside(box.getBoundingClientRect(), {left: 0, top: 0, width: innerWidth, height: innerHeight})) {
      out.push('box ' + name(box.querySelector('h2')));
    }
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

test('a narrow window and 200 % zoom: every control within reach, no violation', async () => {
  const {page, site} = await open(siteDir);
  try {
    // 320 CSS px wide, as WCAG's reflow asks; a 900 x 600 window at 200 %.
    for (const [width, height, scale, label] of [[320, 480, 1, '320px'], [450, 300, 2, 'zoom200']]) {
      await page.viewport(width, height, scale);
      await page.eval(`document.querySelector('#IDOK').focus()`);
      await page.waitUntil(`innerWidth === ${width}`, 'the new size');
      assert.deepEqual(await page.eval(kOutOfReach), [], `${label}: the dialog`);
      await page.screenshot(join(shots, `web-${label}.png`));
      await openAbout(page);
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
  try {
    await page.drop('#IDD_UPDATER_DIALOG', [hex]);
    await page.waitUntil(`document.querySelector('#IDC_CHECKSUM').textContent.length === 4`, 'the checksum');
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
