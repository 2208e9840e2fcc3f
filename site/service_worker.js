// The site's service worker: it keeps every file of one version of the site
// in Cache Storage, so the pages, the examples, the docs and the playground
// (its compiler and sdk) open and run without a network after one visit.
//
// The build (site/tools/assemble.mjs) writes sw.js as this file after one line
// that sets self.TAVLO_SITE: {version, files: [path...], lazy: [path...],
// sizes: {path: bytes}, hashes: {path: first 16 hex digits of its SHA-256}}.
// The version is a hash of the paths and contents, so any change to the site
// makes another sw.js, which the browser installs beside the running one:
//   - install fetches every file of the new version but the lazy ones into a
//     cache of its own (tavlo-site-VERSION), past the HTTP cache, and checks
//     each file's hash: a file from another build (the site rebuilt while the
//     install ran) fails the install, and the version running goes on as it
//     was. A file an earlier version kept with the same hash is copied from
//     its cache instead, so a new version fetches only what changed;
//   - the lazy files (each example page's program, about 1 MB apiece, which
//     would add half as much again to what a first visit fetches) are fetched
//     when a page first asks for one, or by the install when a page that
//     uses one is open then (NAME.wasm for NAME.html), checked against the
//     version's hash the same way (a file of another version is refused,
//     never shown with this one's page) and kept: an example opened once
//     opens without a network;
//   - the new version takes over only when no page of the old one is open (or
//     a page asks for it, offline.js's "reload" bar); activate deletes every
//     other version's cache (and the playground's own runtime cache, which
//     this one replaces) and takes the open pages;
//   - a request for one of the version's files is answered from its cache,
//     whatever its query (?seed=1); anything else goes to the network.
// So a page never sees files of two versions.
const SITE = self.TAVLO_SITE;
const PREFIX = 'tavlo-site-';
const CACHE = `${PREFIX}${SITE.version}`;
// The playground's runtime cache (playground/runtime/site_cache.js), used only
// where no service worker controls the page.
const RUNTIME_PREFIX = 'tavlo-playground-';
const root = new URL('./', self.location.href);
const paths = new Map(SITE.files.map((file) => [new URL(file, root).href, file]));
const FETCHES_AT_ONCE = 4;

// The site file an address names (a folder's address names its index.html), or null.
function siteFile(url) {
  const key = new URL(url);
  key.search = '';
  key.hash = '';
  if (key.href.endsWith('/')) key.href += 'index.html';
  return paths.has(key.href) ? key.href : null;
}

async function tellPages(message) {
  for (const client of await self.clients.matchAll({ includeUncontrolled: true, type: 'window' })) {
    client.postMessage(message);
  }
}

const hex = (buffer) => [...new Uint8Array(buffer)].map((b) => b.toString(16).padStart(2, '0')).join('');

// The files of the versions kept before, with their hashes: {path: {hash, cache}}.
// Each version's cache ends with its list (HASHES_KEY), written when it is whole.
// A lazy file kept later is found by its hash in that list too.
const HASHES_KEY = new URL('.tavlo-site-hashes.json', root).href;
async function keptBefore() {
  const kept = {};
  for (const name of await caches.keys()) {
    if (!name.startsWith(PREFIX) || name === CACHE) continue;
    const cache = await caches.open(name);
    const list = await cache.match(HASHES_KEY);
    if (!list) continue;
    for (const [file, hash] of Object.entries(await list.json())) kept[file] = { hash, cache };
  }
  return kept;
}

// The version's file at `url` from the network, checked against its hash, into `cache`.
async function fetchChecked(url, cache) {
  const file = paths.get(url);
  const response = await fetch(url, { cache: 'no-cache' });
  if (!response.ok) throw new Error(`${file}: ${response.status}`);
  const digest = await crypto.subtle.digest('SHA-256', await response.clone().arrayBuffer());
  if (hex(digest).slice(0, 16) !== SITE.hashes[file]) {
    throw new Error(`${file} is not this version's (the site changed while it was fetched)`);
  }
  await cache.put(url, response.clone());
  return response;
}

// Fetches every file not yet in the version's cache (an install that stopped
// half way goes on where it was), a few at a time, telling the open pages how
// far it is. A file an earlier version kept with the same hash is taken from
// there; a lazy file only so.
async function fetchAll() {
  const cache = await caches.open(CACHE);
  const kept = await keptBefore();
  const lazy = new Set(SITE.lazy || []);
  // The program of an example page open now is kept with the rest.
  for (const client of await self.clients.matchAll({ includeUncontrolled: true, type: 'window' })) {
    const page = new URL(client.url);
    const program = new URL(page.pathname.replace(/\.html$/, '.wasm'), root).href;
    if (page.pathname.endsWith('.html') && paths.has(program)) lazy.delete(paths.get(program));
  }
  const total = SITE.files.reduce((n, file) => n + (lazy.has(file) ? 0 : SITE.sizes[file] || 0), 0);
  let loaded = 0, lastTold = 0;
  const queue = [...paths.keys()];
  async function next() {
    for (let url = queue.shift(); url !== undefined; url = queue.shift()) {
      const file = paths.get(url);
      const before = kept[file] && kept[file].hash === SITE.hashes[file] ? await kept[file].cache.match(url) : null;
      if (before) {
        await cache.put(url, before);
      } else if (lazy.has(file)) {
        continue;
      } else if (!(await cache.match(url))) {
        await fetchChecked(url, cache);
      }
      loaded += SITE.sizes[file] || 0;
      if (loaded - lastTold > 1e6 || loaded === total) {
        lastTold = loaded;
        tellPages({ type: 'tavlo-site-progress', version: SITE.version, loaded, total });
      }
    }
  }
  await Promise.all(Array.from({ length: FETCHES_AT_ONCE }, next));
  await writeHashes(cache);
}

// The version's list of the files its cache holds, with their hashes.
async function writeHashes(cache) {
  const held = {};
  for (const request of await cache.keys()) {
    const file = paths.get(request.url);
    if (file) held[file] = SITE.hashes[file];
  }
  await cache.put(HASHES_KEY, new Response(JSON.stringify(held), { headers: { 'Content-Type': 'application/json' } }));
}

self.addEventListener('install', (event) => {
  event.waitUntil(fetchAll().catch(async (error) => {
    tellPages({ type: 'tavlo-site-failed', version: SITE.version, message: String(error.message || error) });
    throw error;
  }));
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if ((name.startsWith(PREFIX) && name !== CACHE) || name.startsWith(RUNTIME_PREFIX)) await caches.delete(name);
    }
    await self.clients.claim();
  })());
});

self.addEventListener('message', (event) => {
  if (event.data && event.data.type === 'tavlo-take-over') self.skipWaiting();
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || request.headers.has('range')) return;
  const key = siteFile(request.url);
  if (key === null) return;
  event.respondWith((async () => {
    const cache = await caches.open(CACHE);
    const hit = await cache.match(key);
    if (hit) return hit;
    if (!(SITE.lazy || []).includes(paths.get(key))) return fetch(request);
    try {
      const response = await fetchChecked(key, cache);
      await writeHashes(cache);
      return response;
    } catch (error) {
      return new Response(`${error.message || error}: reload the page\n`,
                          { status: 503, headers: { 'Content-Type': 'text/plain; charset=utf-8' } });
    }
  })());
});
