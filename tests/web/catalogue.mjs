// The page's catalogue reader and SHA-256 (WebAssembly, in node, on node's
// Web Crypto as a browser gives it): the published test vectors, a release
// whose file is or is not the catalogue's, a catalogue that is not one, and
// a page without Web Crypto, which refuses rather than loads unchecked.
//
//   node --test catalogue.mjs   (the program from TVX_CATALOGUE_PROBE)
import {createRequire} from 'node:module';
import {test} from 'node:test';
import assert from 'node:assert/strict';

const program = await createRequire(import.meta.url)(process.env.TVX_CATALOGUE_PROBE)();

// Runs `call` in the lane, as the page does, and gives its answer once it has ended.
function inLane(call) {
  return new Promise((resolve) => {
    program.lane.later(call, () => resolve(program.UTF8ToString(program._tvx_probe_answer())));
  });
}

function bytes(data) {
  const p = program._malloc(data.length + 1);
  program.HEAPU8.set(data, p);
  return p;
}

async function sha256(data) {
  const p = bytes(data);
  const answer = await inLane(() => program._tvx_probe_sha256(p, data.length));
  program._free(p);
  return answer;
}

async function catalogue(text, version = '', data = new Uint8Array()) {
  const t = program.allocateUTF8(text);
  const v = program.allocateUTF8(version);
  const p = bytes(data);
  const answer = await inLane(() => program._tvx_probe_catalogue(t, v, p, data.length));
  [t, v, p].forEach((q) => program._free(q));
  return answer;
}

const ascii = (s) => new TextEncoder().encode(s);
const empty = 'e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855';

test('the published SHA-256 vectors', async () => {
  const million = new Uint8Array(1000000).fill(0x61);
  const all = Uint8Array.from({length: 256}, (_, i) => i);
  assert.equal(await sha256(new Uint8Array()), empty);
  assert.equal(await sha256(ascii('abc')), 'ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad');
  assert.equal(await sha256(ascii('abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq')),
               '248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1');
  assert.equal(await sha256(million), 'cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0');
  assert.equal(await sha256(all), '40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880');
});

test('a release checked against its catalogue', async () => {
  const entry = (version, sha) => `{"version":"${version}","date":"2026-11-30","file":"r/${version}.hex",` +
                                  `"sha256":"${sha}","notes":""}`;
  const text = `{"format":1,"releases":[${entry('1.9', empty)},${entry('1.10', empty.toUpperCase())}]}`;
  assert.equal(await catalogue(text), '1.10, 1.9');
  assert.equal(await catalogue(text, '1.9', new Uint8Array()), 'ok');
  assert.equal(await catalogue(text, '1.10', ascii('x')),
               'el archivo de la versión 1.10 no es el que publica el catálogo: su SHA-256 es ' +
               '2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881 y el catálogo da ' + empty);
  assert.equal(await catalogue(`{"format":1,"releases":[${entry('1', empty).replace('r/1.hex', '../1.hex')}]}`),
               'error: publicación 1 (versión 1): «file» sale de la carpeta del catálogo («..»)');
});

test('without Web Crypto nothing passes the check', async () => {
  const saved = Object.getOwnPropertyDescriptor(globalThis, 'crypto');
  Object.defineProperty(globalThis, 'crypto', {value: undefined, configurable: true});
  try {
    const text = `{"format":1,"releases":[{"version":"1","date":"2026-11-30","file":"a.hex","sha256":"${empty}","notes":""}]}`;
    assert.equal(await catalogue(text, '1', new Uint8Array()),
                 'no se puede comprobar el archivo de la versión 1: no se puede calcular su SHA-256 aquí ' +
                 '(un navegador solo lo calcula en una página HTTPS o de localhost)');
  } finally {
    Object.defineProperty(globalThis, 'crypto', saved);
  }
});
