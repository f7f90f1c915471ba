// Times the updater page in headless Chromium (not a test: it prints figures).
//
//   node measure.mjs open    --site DIR --hex FILE [--runs N]
//     from opening the page to the checksum shown, each run a fresh load
//     with the cache off; the file is chosen through "Abrir HEX" at once.
//   node measure.mjs standin --site DIR --hex FILE [--pairs N]
//     the same pairs on this machine against a stand-in for WebHID whose
//     sendReport settles at once: what the page's own path costs per report.
//   node measure.mjs reports --site DIR --hex FILE [--pairs N] [--pin-browser CPU]
//     the 2,048 data reports of an update by the page against a bare loop of
//     sendReport in the same page, one after the other, N times; each time
//     is from the DOWNLOAD report's end to the last report's end.
//     --profile: the first pair's page update and bare loop under the
//     renderer's sampling profiler: where its main thread spends the time.
import {execFileSync} from 'node:child_process';
import {join} from 'node:path';
import {parseArgs} from 'node:util';
import {Browser, serve} from '../../tests/web/browser.mjs';

const {values: opt, positionals: [mode]} = parseArgs({allowPositionals: true, options: {
  chromium: {type: 'string', default: '/usr/lib/chromium/chromium'},
  site: {type: 'string'}, hex: {type: 'string'},
  runs: {type: 'string', default: '11'}, pairs: {type: 'string', default: '5'},
  port: {type: 'string', default: '8123'}, 'pin-browser': {type: 'string'},
  profile: {type: 'boolean', default: false},
}});
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// Every sendReport the page makes, with when it settled.
const kTrace = `(() => {
  const send = HIDDevice.prototype.sendReport;
  window.tvxSends = [];
  HIDDevice.prototype.sendReport = function(...args) {
    const entry = {start: performance.now(), end: 0};
    window.tvxSends.push(entry);
    return send.apply(this, args).finally(() => { entry.end = performance.now(); });
  };
})()`;
// The marks: when the checksum first shows.
const kChecksumMark = `new MutationObserver((_, observer) => {
  const c = document.querySelector('#IDC_CHECKSUM');
  if (c && c.textContent.length === 4) { window.tvxChecksumAt = performance.now(); observer.disconnect(); }
}).observe(document, {subtree: true, childList: true, characterData: true})`;

// A controller that takes every report at once, in place of WebHID.
const kStandIn = `(() => {
  let opened = false;
  const device = {vendorId: 0x0E8F, productId: 0x310D, productName: 'stand-in',
    collections: [{usagePage: 0xFF00, usage: 1, children: [],
                   outputReports: [{reportId: 0, items: [{reportSize: 8, reportCount: 8}]}]}],
    get opened() { return opened; },
    open: async () => { opened = true; }, close: async () => { opened = false; }};
  Object.setPrototypeOf(device, HIDDevice.prototype);
  HIDDevice.prototype.sendReport = async () => {};
  Object.defineProperty(Navigator.prototype, 'hid', {get: () => ({
    getDevices: async () => [device], requestDevice: async () => [device], addEventListener() {}})});
})()`;

// Self time of the main thread by function, from a CDP profile: the total and
// the largest entries, one line.
const profileSummary = (label, {nodes, samples, timeDeltas}) => {
  const nameOf = new Map(nodes.map((n) => {
    const f = n.callFrame;
    const file = f.url ? f.url.split('/').pop() : '';
    return [n.id, `${f.functionName || '(anonymous)'}${file ? '@' + file : ''}`];
  }));
  const self = new Map();
  let total = 0;
  samples.forEach((id, i) => {
    const ms = (timeDeltas[i] || 0) / 1000;
    const name = nameOf.get(id);
    total += ms;
    self.set(name, (self.get(name) || 0) + ms);
  });
  const top = [...self].sort((a, b) => b[1] - a[1]).slice(0, 20);
  console.log(`PROFILE_${label} total=${total.toFixed(0)}ms ` + top.map(([n, ms]) => `${n}=${ms.toFixed(0)}`).join(' '));
};
const profiled = async (page, label, run) => {
  if (!opt.profile || !label) return run();
  await page.send('Profiler.enable');
  await page.send('Profiler.setSamplingInterval', {interval: 500});
  await page.send('Profiler.start');
  try {
    return await run();
  } finally {
    profileSummary(label, (await page.send('Profiler.stop')).profile);
  }
};

const site = await serve(opt.site, Number(opt.port));
const browser = await Browser.launch(opt.chromium);
if (opt['pin-browser'] !== undefined) {
  execFileSync('taskset', ['-a', '-p', '-c', opt['pin-browser'], String(browser.child.pid)], {stdio: 'ignore'});
}
try {
  const page = await browser.newPage();
  page.fileToChoose = opt.hex;
  if (mode === 'open') {
    await page.send('Network.enable');
    await page.send('Network.setCacheDisabled', {cacheDisabled: true});
    await page.send('Page.addScriptToEvaluateOnNewDocument', {source: kChecksumMark});
    const times = [];
    for (let i = 0; i < Number(opt.runs); ++i) {
      await page.goto(`${site.origin}/?run=${i}`);
      await page.waitFor(`document.querySelector('#IDC_OPEN_HEX')`, 'the page');
      await page.click('#IDC_OPEN_HEX');
      times.push(await page.waitFor('window.tvxChecksumAt', 'the checksum'));
    }
    console.log(`OPEN_TO_CHECKSUM_MS median=${median(times).toFixed(1)} min=${Math.min(...times).toFixed(1)} ` +
                `max=${Math.max(...times).toFixed(1)} runs=${times.length}`);
  } else if (mode === 'reports' || mode === 'standin') {
    if (mode === 'standin') await page.send('Page.addScriptToEvaluateOnNewDocument', {source: kStandIn});
    await page.send('Page.addScriptToEvaluateOnNewDocument', {source: kTrace});
    await page.goto(`${site.origin}/`);
    // Compiling the page's code under emulation shows nothing for minutes.
    await page.waitFor(`document.querySelector('#IDC_OPEN_HEX')`, 'the page', undefined, {quiet: 600000});
    await page.click('#IDC_OPEN_HEX');
    await page.waitFor(`document.querySelector('#IDC_CHECKSUM').textContent.length === 4`, 'the checksum');
    const ours = [];
    const bare = [];
    const bareDrawn = [];
    const span = `(() => { const s = window.tvxSends.slice(-2049); return s[2048].end - s[0].end; })()`;
    for (let i = 0; i < Number(opt.pairs); ++i) {
      await profiled(page, i === 0 ? 'OURS' : null, async () => {
        await page.click('#IDOK');
        await page.waitFor(`document.querySelector('dialog.msgbox[open]')`, 'the end of the update',
                          () => page.eval('window.tvxSends.length'));
      });
      const text = await page.eval(`document.querySelector('dialog.msgbox[open] .text').textContent`);
      if (text !== 'Actualización OK!!!!') throw new Error(`the update said ${text}`);
      ours.push(await page.eval(span));
      await page.click('dialog.msgbox[open] button');
      await page.waitFor(`!document.querySelector('dialog.msgbox[open]')`, 'the box to close');
      // The same 2,049 reports from a plain loop, on the device the page just
      // closed; then again with the page's bar drawn as the page draws it (a
      // look every 5 ms, a new length each whole segment of 10 px), which
      // tells what drawing the bar costs in this browser.
      for (const drawn of [false, true]) {
        await profiled(page, i === 0 ? (drawn ? 'BARE_DRAWN' : 'BARE') : null, () => page.eval(`(async () => {
          const [device] = await navigator.hid.getDevices();
          const bar = document.querySelector('#IDC_PROGRESS');
          let i = 0;
          const width = bar.getBoundingClientRect().width;
          let drawnAt = -1;
          const timer = ${drawn} ? setInterval(() => {
            const at = Math.floor(i / 2048 * width / 10);
            if (at !== drawnAt) { drawnAt = at; bar.value = at * 10 / width * bar.max; }
          }, 5) : 0;
          await device.open();
          await device.sendReport(0, new TextEncoder().encode('DOWNLOAD'));
          const data = new Uint8Array(8);
          for (i = 0; i < 2048; ++i) { data.fill(i & 0xFF); await device.sendReport(0, data); }
          clearInterval(timer);
          await device.close();
        })()`));
        (drawn ? bareDrawn : bare).push(await page.eval(span));
      }
    }
    const ratios = ours.map((t, i) => t / bare[i]);
    const extraUs = ours.map((t, i) => (t - bare[i]) / 2048 * 1000);
    console.log(`REPORTS_EXTRA_US median=${median(extraUs).toFixed(1)} all=${extraUs.map((u) => u.toFixed(1)).join(',')}`);
    const drawnRatios = ours.map((t, i) => t / bareDrawn[i]);
    console.log(`REPORTS_BARE_DRAWN_MS median=${median(bareDrawn).toFixed(0)} all=${bareDrawn.map((t) => t.toFixed(0)).join(',')}`);
    console.log(`REPORTS_RATIO_DRAWN median=${median(drawnRatios).toFixed(3)} all=${drawnRatios.map((r) => r.toFixed(3)).join(',')}`);
    console.log(`REPORTS_OURS_MS median=${median(ours).toFixed(0)} all=${ours.map((t) => t.toFixed(0)).join(',')}`);
    console.log(`REPORTS_BARE_MS median=${median(bare).toFixed(0)} all=${bare.map((t) => t.toFixed(0)).join(',')}`);
    console.log(`REPORTS_RATIO median=${median(ratios).toFixed(3)} all=${ratios.map((r) => r.toFixed(3)).join(',')}`);
  }
} finally {
  await browser.close();
  site.server.close();
}
