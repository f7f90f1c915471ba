// One visit to the updater page in headless Chromium: open it, choose the HEX
// file through "Abrir HEX" and the browser's chooser (or, with --release, a
// release of the site's catalogue), then press ACTUALIZAR once per name in
// --updates, answering each box. Prints "KEY value" lines for the caller to
// check, and a screenshot after each update. Each wait lasts while the page
// moves (requests, the document, the bar, and the reports in the file given
// with --moving); after --quiet ms (60000) without a change it ends with
// "STALLED why" and status 3.
//
//   node page.mjs --chromium BIN --site DIR --hex FILE --out DIR --updates ok,unplug,replug [--about] [--salir]
//                 [--port N] [--moving FILE] [--quiet MS] [--query ?version=V] [--refused V] [--release V]
//                 [--catalogue none|FILE] [--axe AXE.JS] [--plug CMD]
//
// --query opens the page with it; --refused chooses release V first and
// expects the page to refuse it; --catalogue serves FILE as the site's
// firmware.json, or none at all; --axe runs that axe-core on the page at the
// end. An update named replug first runs the command line CMD, a controller
// plugged in, and waits for the browser to tell the page; CMD gets SIGTERM
// at the end.
import {execFileSync, spawn} from 'node:child_process';
import {readFileSync, readdirSync, statSync} from 'node:fs';
import {basename, join} from 'node:path';
import {parseArgs} from 'node:util';
import {Browser, serve} from './browser.mjs';
import {Stalled, until} from './stall.mjs';

const {values: opt} = parseArgs({options: {
  chromium: {type: 'string', default: '/usr/lib/chromium/chromium'},
  site: {type: 'string'}, hex: {type: 'string'}, out: {type: 'string'},
  updates: {type: 'string', default: ''}, port: {type: 'string', default: '8123'},
  quiet: {type: 'string', default: '60000'}, moving: {type: 'string'},
  'pin-browser': {type: 'string'}, shots: {type: 'string', default: 'web-'}, 'chromium-arg': {type: 'string', multiple: true, default: []}, about: {type: 'boolean', default: false},
  salir: {type: 'boolean', default: false},
  query: {type: 'string', default: ''}, refused: {type: 'string'}, release: {type: 'string'},
  catalogue: {type: 'string'}, axe: {type: 'string'}, plug: {type: 'string'},
}});
const quiet = Number(opt.quiet);
const say = (key, value) => console.log(`${key} ${value}`);
const t0 = Date.now();

const site = await serve(opt.site, Number(opt.port), opt.catalogue && {'/firmware.json': opt.catalogue});
const browser = await Browser.launch(opt.chromium, opt['chromium-arg']);
say('LAUNCHED_MS', Date.now() - t0);
if (opt['pin-browser'] !== undefined) {
  // Only the browser's own process (it writes the reports); the pages'
  // processes, forked before this, keep every processor.
  execFileSync('taskset', ['-a', '-p', '-c', opt['pin-browser'], String(browser.child.pid)], {stdio: 'ignore'});
}
let failed = false;
let stalled = false;
let page = null;
let plugged = null;
try {
  page = await browser.newPage();
  say('BROWSER_MS', Date.now() - t0);
  const sizeOf = (path) => { try { return statSync(path).size; } catch { return -1; } };
  const hidraw = () => readdirSync('/dev').filter((d) => d.startsWith('hidraw')).join();
  const received = () => [site.log.length, sizeOf(opt.moving), hidraw()];
  const moving = async () => [...received(), await page.eval(`[document.readyState,
    document.getElementsByTagName('*').length, document.querySelector('#IDC_PROGRESS')?.dataset.pos]`).catch(() => null)];
  // A look every quarter second: the page under test keeps the processor.
  const waitFor = (expression, what) => page.waitFor(expression, what, moving, {quiet, poll: 250});
  await page.goto(`${site.origin}/${opt.query}`);
  await waitFor(`document.querySelector('#IDOK') !== null`, 'the dialog');
  say('READY_MS', Date.now() - t0);
  // What the browser tells the page of controllers coming and going.
  await page.eval(`(() => {
    window.tvxHeard = {connects: 0, gone: []};
    if (!navigator.hid) return;
    navigator.hid.addEventListener('connect', () => ++window.tvxHeard.connects);
    navigator.hid.addEventListener('disconnect', (e) => window.tvxHeard.gone.push(e.device));
  })()`);
  say('TITLE', await page.eval('document.title'));
  say('FOCUS', await page.eval('document.activeElement.id'));
  say('NOTICE', await page.eval(`document.querySelector('#aviso').hidden ? '' : document.querySelector('#aviso').textContent`));
  const fileBox = `document.querySelector('#IDC_FILE_PATH').value`;
  const checksum = `document.querySelector('#IDC_CHECKSUM').textContent`;

  // The catalogue's list, or what the page says of the catalogue.
  if (opt.catalogue !== 'none') {
    await waitFor(`document.querySelector('#IDD_RELEASES .list li') || (!document.querySelector('#IDD_RELEASES .status').hidden &&
      document.querySelector('#IDD_RELEASES .status').textContent !== 'Cargando las versiones…')`, 'the releases');
    say('RELEASES', await page.eval(`JSON.stringify([...document.querySelectorAll('#IDD_RELEASES button')]
      .map((b) => b.dataset.key + ' ' + b.querySelector('time').textContent))`));
    say('NOTES', await page.eval(`JSON.stringify([...document.querySelectorAll('#IDD_RELEASES .description')].map((p) => p.textContent))`));
    say('NOTES_MARKUP', await page.eval(`document.querySelectorAll('#IDD_RELEASES .description *').length`));
    say('STATUS', await page.eval(`document.querySelector('#IDD_RELEASES .status').textContent`));
  }
  // ?version=V: that release loaded at once, as a chosen file.
  if (opt.query.includes('version=')) {
    await waitFor(`${fileBox}.includes('(versión')`, 'the release asked for');
    say('PRESELECTED', `${await page.eval(fileBox)}|${await page.eval(checksum)}`);
  }
  // A release whose file is not the catalogue's: refused, nothing changed.
  if (opt.refused) {
    const before = `${await page.eval(fileBox)}|${await page.eval(checksum)}`;
    await page.click(`#IDD_RELEASES button[data-key="${opt.refused}"]`);
    await waitFor(`document.querySelector('dialog.msgbox[open]')`, 'the refusal');
    say('REFUSED', await page.eval(`document.querySelector('dialog.msgbox[open] .text').textContent`));
    say('REFUSED_CHANGED', `${await page.eval(fileBox)}|${await page.eval(checksum)}` === before ? 0 : 1);
    await page.click('dialog.msgbox[open] button');
    await waitFor(`!document.querySelector('dialog.msgbox[open]')`, 'the box to close');
  }

  if (opt.release) {
    // A release from the list, loaded as a chosen file.
    await page.click(`#IDD_RELEASES button[data-key="${opt.release}"]`);
    await waitFor(`${fileBox}.endsWith('(versión ${opt.release})') && ${checksum}.length === 4`, 'the release');
  } else {
    // "Abrir HEX" until the page takes the file. The page takes the focus
    // coming back without a file within a second for a cancel, which the
    // answer to the chooser can miss on a busy machine: the file then stays
    // in the input, untaken, and a user would press again.
    page.fileToChoose = opt.hex;
    for (let tries = 1; ; ++tries) {
      await page.click('#IDC_OPEN_HEX');
      const took = await waitFor(`${fileBox} === ${JSON.stringify(basename(opt.hex))} ? 'yes' :
        document.querySelector('input[type=file]').files.length > 0 && 'no'`, 'the checksum');
      if (took === 'yes') break;
      say('CHOICE_MISSED', tries);
      await page.eval(`document.querySelector('input[type=file]').value = ''`);
    }
  }
  say('CHECKSUM_MS', Date.now() - t0);
  say('CHECKSUM', await page.eval(`document.querySelector('#IDC_CHECKSUM').textContent`));
  say('FILE', await page.eval(`document.querySelector('#IDC_FILE_PATH').value`));

  if (opt.about) {
    // The About entry of the window's menu, and Escape to close the box.
    await page.click('#IDD_UPDATER_DIALOG .sysmenu');
    await page.click('#IDM_ABOUTBOX');
    await waitFor(`document.querySelector('#IDD_ABOUTBOX[open]')`, 'the About box');
    say('ABOUT', await page.eval(`[...document.querySelectorAll('#IDD_ABOUTBOX h2, #IDD_ABOUTBOX .control')]
      .map((e) => e.textContent).filter(Boolean).join('|')`));
    await page.screenshot(join(opt.out, `${opt.shots}about.png`));
    await page.key('Escape', 'Escape', 27);
    await waitFor(`!document.querySelector('#IDD_ABOUTBOX')`, 'the About box to close');
    say('ABOUT_CLOSED', 1);
  }

  const updates = opt.updates ? opt.updates.split(',') : [];
  for (const [n, name] of updates.entries()) {
    // Watches the controls: were they all locked at some moment, the
    // catalogue's releases with them.
    await page.eval(`(() => {
      const controls = () => [...document.querySelectorAll('#IDD_UPDATER_DIALOG .control')];
      const releases = () => [...document.querySelectorAll('#IDD_RELEASES button')];
      window.tvxWatch = {locked: false};
      const look = () => {
        if (controls().every((c) => c.dataset.disabled === '1') && releases().every((b) => b.disabled)) {
          window.tvxWatch.locked = true;
        }
      };
      new MutationObserver(look).observe(document.body, {subtree: true, attributes: true});
      setInterval(look, 20);
    })()`);
    if (name === 'replug') {
      plugged = spawn('sh', ['-c', `exec ${opt.plug}`], {stdio: 'ignore'});
      await waitFor('window.tvxHeard.connects > 0', 'the browser to tell of the controller plugged in');
    }
    if (name === 'none') {
      // No path can be typed into the box; Enter there is ACTUALIZAR, the default button.
      await page.eval(`document.querySelector('#IDC_FILE_PATH').focus()`);
      await page.send('Input.insertText', {text: '/tmp/otro.hex'});
      say('FILE_AFTER_TYPING', await page.eval(`document.querySelector('#IDC_FILE_PATH').value`));
      await page.key('Enter', 'Enter', 13);
    } else {
      await page.click('#IDOK');
    }
    let leaveAsked = '';
    if (name === 'ok') {
      // Leaving the page while the reports go out asks first; the answer is no.
      await waitFor(`document.querySelector('#IDC_PROGRESS').dataset.pos > 0`, 'the bar to move');
      // The question, or else the navigation's end, which comes only without one.
      browser.listeners.push((m) => {
        if (m.method === 'Page.javascriptDialogOpening') leaveAsked = m.params.type;
      });
      page.send('Page.navigate', {url: `${site.origin}/`}).then(() => { leaveAsked ||= 'no'; }, () => {});
      // No look into the page: while it asks, it answers nothing.
      await until('the question on leaving', () => leaveAsked, received, {quiet});
      if (leaveAsked !== 'no') await page.send('Page.handleJavaScriptDialog', {accept: false});
      say(`LEAVE_ASKED${n}`, leaveAsked);
    }
    await waitFor(`document.querySelector('dialog.msgbox[open]')`, 'the message box');
    say(`BOX${n}_MS`, Date.now() - t0);
    const [text, reason = ''] = (await page.eval(`document.querySelector('dialog.msgbox[open] .text').textContent`)).split('\n');
    say(`BOX${n}`, text);
    say(`BOX${n}_REASON`, reason);
    say(`CAPTION${n}`, await page.eval(`document.querySelector('dialog.msgbox[open] h2').textContent`));
    say(`LOCKED_SEEN${n}`, await page.eval('window.tvxWatch.locked ? 1 : 0'));
    say(`ENABLED_AT_BOX${n}`, await page.eval(
      `[...document.querySelectorAll('#IDD_UPDATER_DIALOG .control')].every((c) => c.dataset.disabled !== '1') &&
       [...document.querySelectorAll('#IDD_RELEASES button')].every((b) => !b.disabled) ? 1 : 0`));
    // Where the bar was set; its drawing follows by whole pixels.
    say(`BAR_AT_BOX${n}`, await page.eval(`document.querySelector('#IDC_PROGRESS').tvxPos`));
    // Heard so far: connects and disconnects; the devices gone still open.
    say(`HEARD${n}`, await page.eval('`${window.tvxHeard.connects},${window.tvxHeard.gone.length}`'));
    say(`GONE_OPEN${n}`, await page.eval('window.tvxHeard.gone.filter((d) => d.opened).length'));
    await page.screenshot(join(opt.out, `${opt.shots}${name}.png`));
    await page.click('dialog.msgbox[open] button');
    await waitFor(`!document.querySelector('dialog.msgbox[open]')`, 'the box to close');
  }
  if (opt.salir) {
    // "Salir": the controller closed, the page as it started.
    await page.click('#IDCANCEL');
    await waitFor(`document.querySelector('#IDC_CHECKSUM') && !document.querySelector('.window[inert]') &&
      document.querySelector('#IDC_CHECKSUM').textContent === '' && document.querySelector('#IDC_FILE_PATH').value === ''`,
      'the page to start again');
    say('SALIR_OPEN_DEVICES', await page.eval(
      `navigator.hid ? navigator.hid.getDevices().then((ds) => ds.filter((d) => d.opened).length) : 0`));
  }
  // The offline copy taken whole: its files are among the requests.
  if (await page.eval(`'serviceWorker' in navigator`)) {
    await waitFor(`navigator.serviceWorker.controller !== null`, 'the offline copy');
  }
  if (opt.axe) {
    await page.eval(readFileSync(opt.axe, 'utf8'));
    say('AXE', JSON.stringify(await page.eval(`axe.run(document, {resultTypes: ['violations']}).then((r) =>
      r.violations.map((v) => v.id + ': ' + v.nodes.map((n) => n.target.join(' ')).join(', ')))`)));
  }
  say('PANEL', await page.eval(`document.querySelector('#IDD_RELEASES:not([hidden])') ? 1 : 0`));
  say('CONSOLE', JSON.stringify(page.console));
  say('REQUESTS', JSON.stringify([...new Set(site.log)].sort()));
} catch (e) {
  failed = true;
  stalled = e instanceof Stalled;
  say(stalled ? 'STALLED' : 'ERROR', e.message);
  if (page) await page.screenshot(join(opt.out, `${opt.shots}failure.png`)).catch(() => {});
  say('PAGE_CONSOLE', JSON.stringify(browser.lastPage ? browser.lastPage.console : []));
  say('BROWSER_STDERR', JSON.stringify(browser.stderr.slice(-2000)));
} finally {
  await browser.close(quiet);
  site.server.close();
  if (plugged) {
    let ended = plugged.exitCode !== null;
    plugged.on('exit', () => { ended = true; });
    plugged.kill('SIGTERM');
    await until('the controller plugged in to end', () => ended, () => null, {quiet}).catch(() => plugged.kill('SIGKILL'));
  }
}
say('TOTAL_MS', Date.now() - t0);
process.exit(stalled ? 3 : failed ? 1 : 0);
