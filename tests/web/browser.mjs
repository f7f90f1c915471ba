// Drives the page in headless Chromium as a person would: real clicks and
// keys through the DevTools protocol (over a pipe, so no port is opened for
// it), the browser's own file chooser answered with a file, screenshots. The
// site is served on 127.0.0.1 by a small static server in this process.
import {spawn} from 'node:child_process';
import {createServer} from 'node:http';
import {mkdtemp, readFile, rm, writeFile} from 'node:fs/promises';
import {tmpdir} from 'node:os';
import {extname, join, normalize} from 'node:path';
import {Stalled, until} from './stall.mjs';

const kTypes = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.css': 'text/css', '.svg': 'image/svg+xml', '.png': 'image/png', '.json': 'application/json',
  '.webmanifest': 'application/manifest+json', '.hex': 'text/plain',
};

// Serves `root` on 127.0.0.1:port; every request is counted in `log`.
// `instead` maps a path to the file served for it ("none": not found), or
// to a function that answers the request itself. The
// returned object's `root` may change between requests (a new version of
// the site), and `down` set makes it drop every request unanswered, as a
// network that is gone.
export async function serve(root, port, instead = {}) {
  const log = [];
  const site = {log, root, down: false};
  const server = createServer(async (req, res) => {
    let path = normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname));
    if (site.down) {
      log.push(`down ${path}`);
      req.socket.destroy();
      return;
    }
    log.push(path);
    if (path.endsWith('/')) path += 'index.html';
    try {
      if (typeof instead[path] === 'function') return instead[path](req, res);
      if (instead[path] === 'none') throw new Error('not found');
      const body = await readFile(instead[path] || join(site.root, path));
      res.writeHead(200, {'Content-Type': kTypes[extname(path)] || 'application/octet-stream'});
      res.end(body);
    } catch {
      res.writeHead(404);
      res.end();
    }
  });
  // Port 0: one the system picks.
  await new Promise((resolve) => server.listen(port, '127.0.0.1', resolve));
  return Object.assign(site, {server, origin: `http://127.0.0.1:${server.address().port}`});
}

export class Browser {
  // A fresh profile in a temporary folder, removed again by close().
  static async launch(binary, extraArgs = []) {
    const profile = await mkdtemp(join(tmpdir(), 'tvx-chromium-'));
    const args = ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--disable-dev-shm-usage', '--remote-debugging-pipe', `--user-data-dir=${profile}`,
      '--window-size=900,600', ...extraArgs, 'about:blank'];
    const child = spawn(binary, args, {stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe']});
    const b = new Browser(child);
    b.profile = profile;
    child.stderr.on('data', (d) => { b.stderr += d; if (b.stderr.length > 65536) b.stderr = b.stderr.slice(-32768); });
    return b;
  }

  constructor(child) {
    this.child = child;
    this.stderr = '';
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    let buffer = Buffer.alloc(0);
    child.stdio[4].on('data', (chunk) => {
      buffer = Buffer.concat([buffer, chunk]);
      for (let end; (end = buffer.indexOf(0)) >= 0; buffer = buffer.subarray(end + 1)) {
        const message = JSON.parse(buffer.subarray(0, end).toString());
        if (message.id && this.pending.has(message.id)) {
          const {resolve, reject} = this.pending.get(message.id);
          this.pending.delete(message.id);
          if (message.error) reject(new Error(`${message.error.message} ${message.error.data || ''}`));
          else resolve(message.result);
        } else if (message.method) {
          for (const l of this.listeners) l(message);
        }
      }
    });
    this.exited = new Promise((resolve) => child.on('exit', resolve));
  }

  send(method, params = {}, sessionId = undefined) {
    const id = this.nextId++;
    const message = {id, method, params};
    if (sessionId) message.sessionId = sessionId;
    this.child.stdio[3].write(JSON.stringify(message) + '\0');
    return new Promise((resolve, reject) => this.pending.set(id, {resolve, reject}));
  }

  // A tab; with `fresh`, in a context of its own (storage, caches and
  // service workers of its own, gone when the page closes).
  async newPage({fresh = false} = {}) {
    const context = fresh ? (await this.send('Target.createBrowserContext')).browserContextId : undefined;
    const {targetId} = await this.send('Target.createTarget', {url: 'about:blank', browserContextId: context});
    const {sessionId} = await this.send('Target.attachToTarget', {targetId, flatten: true});
    const page = new Page(this, sessionId);
    page.targetId = targetId;
    page.context = context;
    this.lastPage = page;
    await page.send('Page.enable');
    await page.send('Runtime.enable');
    await page.send('DOM.enable');
    await page.send('Page.setInterceptFileChooserDialog', {enabled: true});
    return page;
  }

  // Asks the browser to close, and kills it only if it stops getting there.
  async close(quiet) {
    let gone = false;
    this.exited.then(() => { gone = true; });
    this.send('Browser.close').catch(() => { /* gone already */ });
    try {
      await until('the browser to close', () => gone, () => this.stderr.length, {quiet});
    } catch (e) {
      if (!(e instanceof Stalled)) throw e;
      this.child.kill('SIGKILL');
      await this.exited;
    }
    await rm(this.profile, {recursive: true, force: true});
  }
}

export class Page {
  constructor(browser, sessionId) {
    this.browser = browser;
    this.sessionId = sessionId;
    this.console = [];
    this.fileToChoose = null;
    this.holdChooser = false;  // keep the chooser open: answerChooser() answers it later
    this.chooser = null;
    this.choosers = 0;
    browser.listeners.push(async (m) => {
      if (m.sessionId !== sessionId) return;
      if (m.method === 'Runtime.consoleAPICalled') {
        this.console.push(m.params.args.map((a) => a.value ?? a.description).join(' '));
      } else if (m.method === 'Runtime.exceptionThrown') {
        this.console.push('exception: ' + (m.params.exceptionDetails.exception?.description || m.params.exceptionDetails.text));
      } else if (m.method === 'Page.fileChooserOpened') {
        // The browser's chooser: answered with the file the test chose, or cancelled.
        ++this.choosers;
        this.chooser = m.params.backendNodeId;
        if (!this.holdChooser) this.answerChooser();
      }
    });
  }

  send(method, params = {}) {
    return this.browser.send(method, params, this.sessionId);
  }

  answerChooser() {
    const files = this.fileToChoose ? [this.fileToChoose] : [];
    const backendNodeId = this.chooser;
    this.chooser = null;
    return this.send('DOM.setFileInputFiles', {files, backendNodeId}).catch(() => {});
  }

  async close() {
    await this.browser.send('Target.closeTarget', {targetId: this.targetId}).catch(() => {});
    if (this.context) await this.browser.send('Target.disposeBrowserContext', {browserContextId: this.context}).catch(() => {});
  }

  // The page as a window of width x height CSS pixels, `scale` device
  // pixels to one (a 900 x 600 window at 200 % zoom is 450 x 300 at 2).
  viewport(width, height, scale = 1) {
    return this.send('Emulation.setDeviceMetricsOverride', {width, height, deviceScaleFactor: scale, mobile: false});
  }

  // Files dragged from the desktop and dropped at the middle of the element.
  async drop(selector, files) {
    const at = await this.centre(selector);
    const data = {items: [], files, dragOperationsMask: 1};
    for (const type of ['dragEnter', 'dragOver', 'drop']) {
      await this.send('Input.dispatchDragEvent', {type, x: at.x, y: at.y, data});
    }
  }

  async centre(selector) {
    return this.eval(`(() => { const r = document.querySelector(${JSON.stringify(selector)}).getBoundingClientRect();
      return {x: r.left + r.width / 2, y: r.top + r.height / 2}; })()`);
  }

  async eval(expression) {
    const r = await this.send('Runtime.evaluate', {expression, returnByValue: true, awaitPromise: true});
    if (r.exceptionDetails) throw new Error(`${expression}: ${r.exceptionDetails.exception?.description || r.exceptionDetails.text}`);
    return r.result.value;
  }

  async goto(url) {
    await this.send('Page.navigate', {url});
  }

  // Polls `expression` until it is truthy, as long as progress() keeps
  // changing (see until()); its value.
  waitFor(expression, what, progress, options) {
    return until(what, () => this.eval(expression).catch(() => undefined), progress, options);
  }

  // A real click in the middle of the element: it counts as the user's.
  async click(selector) {
    await this.clickAt(await this.centre(selector));
  }

  async clickAt(at) {
    for (const type of ['mousePressed', 'mouseReleased']) {
      await this.send('Input.dispatchMouseEvent', {type, x: at.x, y: at.y, button: 'left', clickCount: 1});
    }
  }

  // modifiers: 1 Alt, 2 Ctrl, 4 Meta, 8 Shift.
  async key(key, code = key, keyCode = 0, modifiers = 0) {
    for (const type of ['keyDown', 'keyUp']) {
      await this.send('Input.dispatchKeyEvent', {type, key, code, windowsVirtualKeyCode: keyCode, modifiers,
        ...(type === 'keyDown' && key === 'Enter' ? {text: '\r'} : {})});
    }
  }

  async screenshot(path) {
    const {data} = await this.send('Page.captureScreenshot', {format: 'png'});
    await writeFile(path, Buffer.from(data, 'base64'));
  }
}
