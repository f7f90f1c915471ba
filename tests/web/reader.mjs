// The page's HEX reader (WebAssembly, in node) against the programs' (native):
// the same record of every file, the reader's test inputs and files made
// here to stress its rules. Uses node's test runner.
//
//   node --test reader.mjs   (paths from TVX_WASM_READER, TVX_NATIVE_READER, TVX_READER_INPUTS)
import {execFileSync} from 'node:child_process';
import {mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync} from 'node:fs';
import {createRequire} from 'node:module';
import {tmpdir} from 'node:os';
import {basename, join} from 'node:path';
import {after, test} from 'node:test';
import assert from 'node:assert/strict';

const kHeader = 4;
const kGenerated = 300;

// A small fixed-seed generator, so that a failure can be made again.
function random(seed) {
  return () => {
    seed = (seed + 0x6D2B79F5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

const hex2 = (n) => n.toString(16).toUpperCase().padStart(2, '0');

// One file's text: records of every kind, good and bad, and the line ends,
// stray bytes and lengths the reader must take in its stride.
function makeFile(rnd) {
  const pick = (n) => Math.floor(rnd() * n);
  const lines = [];
  const count = 1 + pick(rnd() < 0.1 ? 4000 : 120);
  for (let i = 0; i < count; ++i) {
    const kind = rnd();
    let line;
    if (kind < 0.7) {
      // Data, mostly in the window, sometimes above it or running past 0xFFFF.
      const r = rnd();
      const address = r < 0.75 ? pick(0x4000) : r < 0.85 ? 0x3FF0 + pick(16) : r < 0.95 ? 0x4000 + pick(0xC000) : 0xFF00 + pick(256);
      const n = rnd() < 0.05 ? 0 : rnd() < 0.1 ? 255 : 1 + pick(32);
      let data = '';
      let sum = n + (address >> 8) + (address & 0xFF);
      for (let j = 0; j < n; ++j) {
        const b = pick(256);
        sum += b;
        data += hex2(b);
      }
      line = ':' + hex2(n) + hex2(address >> 8) + hex2(address & 0xFF) + '00' + data + hex2((-sum) & 0xFF);
      if (rnd() < 0.05) line = line.slice(0, 11 + pick(Math.max(1, line.length - 11)));  // fewer digits than the count says
      if (rnd() < 0.05) line = line.slice(0, -2) + 'ZZ';  // a wrong checksum
    } else if (kind < 0.74) {
      line = ':00000001FF';  // end of file
    } else if (kind < 0.77) {
      line = ':02000004' + hex2(pick(256)) + hex2(pick(256)) + 'F0';  // extended linear address
    } else if (kind < 0.79) {
      line = ':0' + (2 + pick(4)) + '0000' + hex2(2 + pick(250)) + '0000FF';  // other types
    } else if (kind < 0.83) {
      line = ':' + '0'.repeat(pick(11));  // too short to be a record
    } else if (kind < 0.86) {
      line = ' :0100000055AA';  // not at the start of the line
    } else if (kind < 0.9) {
      line = '';
    } else {
      // Characters that are no hex digits, lower case, control bytes.
      const alphabet = '0123456789abcdefABCDEFGgz :\t\x1A\r\x00\xFF';
      line = ':' + Array.from({length: 8 + pick(60)}, () => alphabet[pick(alphabet.length)]).join('');
    }
    if (rnd() < 0.01) line += 'F'.repeat(300000 + pick(100000));  // longer than a read
    lines.push(line);
  }
  const ends = ['\n', '\r\n', '\r', '\n\r'];
  const end = rnd() < 0.7 ? ends[pick(2)] : ends[pick(4)];
  let text = lines.map((l) => l + (rnd() < 0.03 ? ends[pick(4)] : end)).join('');
  if (rnd() < 0.3) text = text.slice(0, text.length - end.length);  // no line end at the end
  if (rnd() < 0.05) text = '\uFEFF' + text;
  if (rnd() < 0.05) text = text.slice(0, pick(text.length)) + '\x1A' + text.slice(pick(text.length));
  if (rnd() < 0.03) text += ':' + '0'.repeat(127);  // a last line of 128 characters, no line end
  return Buffer.from(text, 'latin1');
}

function inputs() {
  const files = [];
  for (const path of (process.env.TVX_READER_INPUTS || '').split(':').filter(Boolean)) {
    if (statSync(path).isDirectory()) {
      for (const name of readdirSync(path).sort()) files.push(join(path, name));
    } else {
      files.push(path);
    }
  }
  return files;
}

const work = mkdtempSync(join(tmpdir(), 'tvx-reader-'));
after(() => rmSync(work, {recursive: true, force: true}));

test('the page reads every file as the programs do', async () => {
  const rnd = random(19);
  const files = inputs();
  assert.ok(files.length > 0, 'no reader test inputs given');
  for (let i = 0; i < kGenerated; ++i) {
    const path = join(work, `generated-${i}.hex`);
    writeFileSync(path, makeFile(rnd));
    files.push(path);
  }
  files.push(join(work, 'missing.hex'));  // does not open

  const size = kHeader + 16384;
  const native = execFileSync(process.env.TVX_NATIVE_READER, files, {maxBuffer: files.length * size + 1});
  assert.equal(native.length, files.length * size);

  // The module the test build makes from the same sources as the page.
  const factory = createRequire(import.meta.url)(process.env.TVX_WASM_READER);
  const wasm = await factory();
  assert.equal(wasm._tvx_hex_record_size(), size);
  const mismatches = [];
  let opened = 0;
  let stored = 0;
  for (const [i, path] of files.entries()) {
    const inMemory = '/t/' + basename(path);
    try {
      wasm.FS.mkdir('/t');
    } catch { /* there already */ }
    let exists = true;
    try {
      wasm.FS.writeFile(inMemory, readFileSync(path));
    } catch {
      exists = false;
    }
    const name = wasm.allocateUTF8(inMemory);
    const at = wasm._tvx_hex_record(name);
    const record = wasm.HEAPU8.slice(at, at + size);
    wasm._free(name);
    if (exists) wasm.FS.unlink(inMemory);
    const expected = native.subarray(i * size, (i + 1) * size);
    if (Buffer.compare(Buffer.from(record), expected) !== 0) {
      const at = record.findIndex((b, j) => b !== expected[j]);
      mismatches.push(`${basename(path)}: first difference at record byte ${at} ` +
                      `(page ${record[at]}, programs ${expected[at]})`);
    }
    opened += expected[0];
    stored += expected[1];
  }
  console.log(`files ${files.length}, opened ${opened}, stored ${stored}`);
  assert.deepEqual(mismatches, []);
  // The files covered both outcomes of the load and of the data check.
  assert.equal(opened, files.length - 1);
  assert.ok(stored > 0 && stored < opened, `${stored} of ${opened} files stored a byte`);
});
