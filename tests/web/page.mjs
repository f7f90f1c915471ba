// One visit to the updater page in headless Chromium: open it, choose the HEX
// file through "Abrir HEX" and the browser's chooser, then press ACTUALIZAR
// once per name in --updates, answering each box. Prints "KEY value" lines
// for the caller to check, and a screenshot after each update.
//
//   node page.mjs --chromium BIN --site DIR --hex FILE --out DIR --updates ok,unplug [--about] [--salir] [--port N]
import {execFileSync} from 'node:child_process';
import {join} from 'node:path';
import {parseArgs} from 'node:util';
import {Browser, serve} from './browser.mjs';

const {values: opt} = parseArgs({options: {
  chromium: {type: 'string', default: '/usr/lib/chromium/chromium'},
  site: {type: 'string'}, hex: {type: 'string'}, out: {type: 'string'},
  updates: {type: 'string', default: ''}, port: {type: 'string', default: '8123'},
  timeout: {type: 'string', default: '90000'},
  'pin-browser': {type: 'string'}, shots: {type: 'string', default: 'web-'}, 'chromium-arg': {type: 'string', multiple: true, default: []}, about: {type: 'boolean', default: false},
  salir: {type: 'boolean', default: false},
}});
const timeout = Number(opt.timeout);
const say = (key, value) => console.log(`${key} ${value}`);
const t0 = Date.now();

const site = await serve(opt.site, Number(opt.port));
const browser = await Browser.launch(opt.chromium, opt['chromium-arg']);
if (opt['pin-browser'] !== undefined) {
  // Only the browser's own process (it writes the reports); the pages'
  // processes, forked before this, keep every processor.
  execFileSync('taskset', ['-a', '-p', '-c', opt['pin-browser'], String(browser.child.pid)], {stdio: 'ignore'});
}
let failed = false;
try {
  const page = await browser.newPage();
  await page.goto(`${site.origin}/`);
  await page.waitFor(`document.querySelector('#IDOK') !== null`, timeout, 'the dialog');
  say('READY_MS', Date.now() - t0);
  say('TITLE', await page.eval('document.title'));
  say('FOCUS', await page.eval('document.activeElement.id'));
  say('NOTICE', await page.eval(`document.querySelector('#aviso').hidden ? '' : document.querySelector('#aviso').textContent`));

  page.fileToChoose = opt.hex;
  await page.click('#IDC_OPEN_HEX');
  await page.waitFor(`document.querySelector('#IDC_CHECKSUM').textContent.length === 4`, timeout, 'the checksum');
  say('CHECKSUM_MS', Date.now() - t0);
  say('CHECKSUM', await page.eval(`document.querySelector('#IDC_CHECKSUM').textContent`));
  say('FILE', await page.eval(`document.querySelector('#IDC_FILE_PATH').value`));

  if (opt.about) {
    // The About entry of the window's menu, and Escape to close the box.
    await page.click('#IDD_UPDATER_DIALOG .sysmenu');
    await page.click('#IDM_ABOUTBOX');
    await page.waitFor(`document.querySelector('#IDD_ABOUTBOX[open]')`, timeout, 'the About box');
    say('ABOUT', await page.eval(`[...document.querySelectorAll('#IDD_ABOUTBOX h2, #IDD_ABOUTBOX .control')]
      .map((e) => e.textContent).filter(Boolean).join('|')`));
    await page.screenshot(join(opt.out, `${opt.shots}about.png`));
    await page.key('Escape', 'Escape', 27);
    await page.waitFor(`!document.querySelector('#IDD_ABOUTBOX')`, timeout, 'the About box to close');
    say('ABOUT_CLOSED', 1);
  }

  const updates = opt.updates ? opt.updates.split(',') : [];
  for (const [n, name] of updates.entries()) {
    // Watches the controls: were they all locked at some moment.
    await page.eval(`(() => {
      const controls = () => [...document.querySelectorAll('#IDD_UPDATER_DIALOG .control')];
      window.tvxWatch = {locked: false};
      const look = () => {
        if (controls().every((c) => c.dataset.disabled === '1')) window.tvxWatch.locked = true;
      };
      new MutationObserver(look).observe(document.body, {subtree: true, attributes: true});
      setInterval(look, 20);
    })()`);
    if (name === 'none') {
      // Enter outside a button is ACTUALIZAR, the default button.
      await page.eval(`document.querySelector('#IDC_FILE_PATH').focus()`);
      await page.key('Enter', 'Enter', 13);
    } else {
      await page.click('#IDOK');
    }
    let leaveAsked = '';
    if (name === 'ok') {
      // Leaving the page while the reports go out asks first; the answer is no.
      await page.waitFor(`document.querySelector('#IDC_PROGRESS').dataset.pos > 0`, timeout, 'the bar to move');
      const asked = new Promise((resolve) => browser.listeners.push((m) => {
        if (m.method === 'Page.javascriptDialogOpening') resolve(m.params.type);
      }));
      page.send('Page.navigate', {url: `${site.origin}/`}).catch(() => {});
      leaveAsked = await Promise.race([asked, new Promise((r) => setTimeout(() => r('no'), 10000))]);
      if (leaveAsked !== 'no') await page.send('Page.handleJavaScriptDialog', {accept: false});
      say(`LEAVE_ASKED${n}`, leaveAsked);
    }
    await page.waitFor(`document.querySelector('dialog.msgbox[open]')`, timeout, 'the message box');
    say(`BOX${n}_MS`, Date.now() - t0);
    say(`BOX${n}`, await page.eval(`document.querySelector('dialog.msgbox[open] .text').textContent`));
    say(`CAPTION${n}`, await page.eval(`document.querySelector('dialog.msgbox[open] h2').textContent`));
    say(`LOCKED_SEEN${n}`, await page.eval('window.tvxWatch.locked ? 1 : 0'));
    say(`ENABLED_AT_BOX${n}`, await page.eval(
      `[...document.querySelectorAll('#IDD_UPDATER_DIALOG .control')].every((c) => c.dataset.disabled !== '1') ? 1 : 0`));
    say(`BAR_AT_BOX${n}`, await page.eval(`document.querySelector('#IDC_PROGRESS').dataset.pos`));
    await page.screenshot(join(opt.out, `${opt.shots}${name}.png`));
    await page.click('dialog.msgbox[open] button');
    await page.waitFor(`!document.querySelector('dialog.msgbox[open]')`, timeout, 'the box to close');
  }
  if (opt.salir) {
    // "Salir": the controller closed, the page as it started.
    await page.click('#IDCANCEL');
    await page.waitFor(`document.querySelector('#IDC_CHECKSUM') && !document.querySelector('.window[inert]') &&
      document.querySelector('#IDC_CHECKSUM').textContent === '' && document.querySelector('#IDC_FILE_PATH').value === ''`,
      timeout, 'the page to start again');
    say('SALIR_OPEN_DEVICES', await page.eval(
      `navigator.hid ? navigator.hid.getDevices().then((ds) => ds.filter((d) => d.opened).length) : 0`));
  }
  say('CONSOLE', JSON.stringify(page.console));
  say('REQUESTS', JSON.stringify([...new Set(site.log)]));
} catch (e) {
  failed = true;
  say('ERROR', e.message);
  say('PAGE_CONSOLE', JSON.stringify(browser.lastPage ? browser.lastPage.console : []));
  say('BROWSER_STDERR', JSON.stringify(browser.stderr.slice(-2000)));
} finally {
  await browser.close();
  site.server.close();
}
say('TOTAL_MS', Date.now() - t0);
process.exit(failed ? 1 : 0);
