// The page's offline copy. The build writes in the version and each of the
// site's files with its SHA-256 (web/StampServiceWorker.cmake), so a new site
// is a new worker, which the browser installs beside the old one on a visit.
// A version is taken whole or not at all: every file is fetched past the
// browser's cache and checked against its hash before the version's cache is
// used; a file missing or of another version (a site half uploaded) fails the
// install, and the old version stays until the next visit tries again.
// Same-origin files that the page fetches (the catalogue, its releases) are
// kept once fetched, in a cache of their own that outlives versions.
// Copies of the page in other folders of the site (a maker's /estable/ and
// /beta/) have workers and caches of their own, named by their scope, and
// each leaves the others' alone.
'use strict';

const VERSION = '@TVX_VERSION@';
const FILES = @TVX_FILES@;
const SCOPE = new URL(self.registration.scope).pathname;
const SITE = `tolvanex-site:${SCOPE}:`;
const CACHE = SITE + VERSION;
const FETCHED = 'tolvanex-fetched';
// Earlier versions named their cache without the scope.
const UNSCOPED = /^tolvanex-site-[0-9a-f]+$/;
// The request's header by which the page (web/Releases.js) says how many
// bytes of the file it takes at most.
const MOST_HEADER = 'Tolvanex-Most-Bytes';

const hex = (buffer) => Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    try {
      const files = await Promise.all(Object.keys(FILES).map(async (name) => {
        const response = await fetch(new Request(name, {cache: 'no-store'}));
        if (!response.ok) throw new Error(`${name}: ${response.status}`);
        const body = await response.arrayBuffer();
        if (hex(await crypto.subtle.digest('SHA-256', body)) !== FILES[name]) {
          throw new Error(`${name} is not the file of version ${VERSION}`);
        }
        return [name, new Response(body, {headers: response.headers})];
      }));
      const cache = await caches.open(CACHE);
      await Promise.all(files.map(([name, response]) => cache.put(name, response)));
    } catch (e) {
      await caches.delete(CACHE);
      throw e;
    }
    await self.skipWaiting();
  })());
});

// A cache without the scope in its name is this scope's when it holds this
// folder's files, not those of a folder below it.
async function unscopedMine(name) {
  const keys = await (await caches.open(name)).keys();
  return keys.length > 0 && keys.every((request) => {
    const path = new URL(request.url).pathname;
    return path.startsWith(SCOPE) && !path.slice(SCOPE.length).includes('/');
  });
}

// This scope's old version goes once the new one has taken over.
self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if ((name.startsWith(SITE) && name !== CACHE) || (UNSCOPED.test(name) && await unscopedMine(name))) {
        await caches.delete(name);
      }
    }
    await self.clients.claim();
  })());
});

// The site's own files from this version's cache; other same-origin files
// that a page fetches from the network while there is one, else as kept.
// Other pages of the site, and what they load, are left to the network.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== location.origin) return;
  if (url.pathname.startsWith(SCOPE)) {
    const name = url.pathname.slice(SCOPE.length) || 'index.html';
    if (Object.hasOwn(FILES, name)) {
      event.respondWith(caches.open(CACHE).then((c) => c.match(name)).then((kept) => kept || fetch(request)));
      return;
    }
  }
  if (request.mode === 'navigate' || request.destination !== '' || request.headers.has('range')) return;
  // The page says how much of the file it takes (MOST_HEADER): the worker
  // never fetches more; a fetch that does not say is not the page's.
  const most = Number(request.headers.get(MOST_HEADER));
  if (!Number.isSafeInteger(most) || most <= 0) return;
  event.respondWith(fetchAndKeep(request, most, event));
});

// The answer goes to the page as it comes, at most `most` bytes of it, the
// rest never fetched; it is kept once it has ended within them. A file
// that has not ended there is larger than the page takes: the page refuses
// it by its size, and nothing is kept.
async function fetchAndKeep(request, most, event) {
  const cache = await caches.open(FETCHED);
  let response;
  try {
    response = await fetch(request);
  } catch (e) {
    const kept = await cache.match(request);
    if (kept) return kept;
    throw e;
  }
  if (!response.body) return response;
  const keep = response.ok && response.type === 'basic';
  // The length said is the whole file's, not what the page may get.
  const headers = new Headers(response.headers);
  headers.delete('content-length');
  const reader = response.body.getReader();
  const chunks = [];
  let size = 0;
  let ended;
  event.waitUntil(new Promise((resolve) => { ended = resolve; }));
  const body = new ReadableStream({
    async pull(controller) {
      try {
        const {done, value} = await reader.read();
        if (done) {
          controller.close();
          if (keep) await cache.put(request, new Response(new Blob(chunks), {headers}));
          ended();
          return;
        }
        const room = most - size;
        size += value.length;
        if (value.length >= room) {
          controller.enqueue(value.subarray(0, room));
          controller.close();
          reader.cancel().catch(() => {});
          ended();
          return;
        }
        chunks.push(value);
        controller.enqueue(value);
      } catch (e) {
        controller.error(e);
        ended();
      }
    },
    cancel(reason) {
      ended();
      return reader.cancel(reason);
    },
  });
  return new Response(body, {status: response.status, statusText: response.statusText, headers});
}
