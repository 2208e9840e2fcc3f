// The playground's big files (the compiler, its headers and libraries, the
// package's libraries, the fonts) kept in Cache Storage, so a second visit
// downloads none of them, where the site's service worker (site/service_worker.js)
// does not keep them: served from the site folder on a secure origin it does,
// and this cache stays unused; served another way (the build's own folder, a
// plain http address other than localhost) this cache is the one. The cache's name carries the compiler's version and
// a hash of the files (runtime/site.json, written when the site is built): a
// new build gets a new cache, and older ones are deleted.
//
// A file is fetched once, untouched: the Response handed on is the network's
// own (or the cache's), which keeps its URL, so the browser can keep the code
// it compiles from a module in its code cache. Progress is counted on a clone.

const PREFIX = 'tavlo-playground-';
const networkFetch = globalThis.fetch.bind(globalThis);

// site: runtime/site.json (site.servedOffline: the site's service worker
// answers the page, so it keeps these files already, whole versions of the
// site at a time, and this cache is not used). onBytes(n): n more bytes of a
// file have arrived (a file taken from the cache counts whole at once).
export async function openSiteCache(site, onBytes = () => {}) {
  const name = `${PREFIX}${site.version}-${site.hash}`;
  let cache = null;
  if (!site.servedOffline) {
    try {
      cache = await caches.open(name);
      for (const old of await caches.keys()) {
        if (old.startsWith(PREFIX) && old !== name) caches.delete(old);
      }
    } catch (error) {
      cache = null;  // no Cache Storage (an insecure origin, a private window): the network only
    }
  }
  const sizes = new Map(Object.entries(site.sizes || {}));

  async function count(response) {
    const reader = response.body.getReader();
    for (;;) {
      const { done, value } = await reader.read();
      if (done) return;
      onBytes(value.length);
    }
  }

  // fetch() for the site's files: from the cache, else from the network (and
  // then into the cache). `relative` is the path below the site's folder.
  async function fetchFile(url, relative) {
    if (cache) {
      const hit = await cache.match(url);
      if (hit) {
        onBytes(sizes.get(relative) || 0);
        return hit;
      }
    }
    const response = await networkFetch(url);
    if (!response.ok) throw new Error(`${relative}: ${response.status} ${response.statusText}`);
    count(response.clone()).catch(() => {});
    if (cache) cache.put(url, response.clone()).catch(() => {});  // full quota: fetched next time
    return response;
  }

  return { fetchFile, name };
}

// The faces the package reads at /fonts, as a folder of createWasi (wasi.js):
// each fetched when the program first opens it (kept as the site's other big
// files are), so a program downloads only those it uses.
export async function siteFonts(site) {
  const cache = await openSiteCache(site);
  const base = new URL('../', import.meta.url);
  const entries = {};
  for (const path of site.files.filter((p) => p.startsWith('sdk/fonts/'))) {
    entries[path.slice('sdk/fonts/'.length)] = {
      load: async () => new Uint8Array(await (await cache.fetchFile(new URL(path, base).href, path)).arrayBuffer()),
    };
  }
  return entries;
}
