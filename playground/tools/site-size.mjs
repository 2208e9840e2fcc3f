// Prints what a first visit to the playground downloads, each file at gzip -9
// (as a static server compressing it sends it): the page's own files when they
// are in the site, the runtime, the compiler, the sdk the compiler Worker
// fetches, and the fonts (each fetched only when a program first opens it).
// Brotli (quality 11), which many servers send too, is printed beside it. A
// figure, not a test.
//
//   node playground/tools/site-size.mjs build/wasi/site
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

const siteDir = path.resolve(process.argv[2] || '');
if (!process.argv[2] || !fs.existsSync(path.join(siteDir, 'runtime', 'site.json'))) {
  console.error('usage: site-size.mjs SITE_DIR (with runtime/site.json: build the target playground_site)');
  process.exit(2);
}
const site = JSON.parse(fs.readFileSync(path.join(siteDir, 'runtime', 'site.json'), 'utf8'));

function filesBelow(relative) {
  const full = path.join(siteDir, relative);
  if (!fs.existsSync(full)) return [];
  if (fs.statSync(full).isFile()) return [relative];
  return fs.readdirSync(full).flatMap((name) => filesBelow(path.posix.join(relative, name)));
}

// The page's own files (whatever the page part puts beside the runtime), the
// runtime's, then site.json's list.
const groups = [
  ['the page', fs.readdirSync(siteDir).filter((n) => !['runtime', 'clang', 'sdk'].includes(n))
    .flatMap((n) => filesBelow(n))],
  ['the runtime', filesBelow('runtime')],
  ['the compiler (clang/)', site.files.filter((f) => f.startsWith('clang/'))],
  ['the sdk (sdk/, without fonts)', site.files.filter((f) => f.startsWith('sdk/') && !f.startsWith('sdk/fonts/'))],
  ['the fonts (each on first use)', site.files.filter((f) => f.startsWith('sdk/fonts/'))],
];
const MB = (n) => (n / 1e6).toFixed(2);
const brotli = (data) => zlib.brotliCompressSync(data, {
  params: { [zlib.constants.BROTLI_PARAM_QUALITY]: 11, [zlib.constants.BROTLI_PARAM_SIZE_HINT]: data.length },
}).length;
let total = 0, totalRaw = 0, totalBrotli = 0;
for (const [label, files] of groups) {
  let raw = 0, gzipped = 0, brotlied = 0;
  const big = [];
  for (const file of files) {
    const data = fs.readFileSync(path.join(siteDir, file));
    const size = zlib.gzipSync(data, { level: 9 }).length;
    raw += data.length;
    gzipped += size;
    brotlied += brotli(data);
    if (size > 100000) big.push(`${file} ${MB(size)}`);
  }
  total += gzipped;
  totalRaw += raw;
  totalBrotli += brotlied;
  console.log(`${label}: ${files.length} files, ${MB(raw)} MB, gzip -9 ${MB(gzipped)} MB, ` +
              `brotli ${MB(brotlied)} MB` +
              (big.length ? ` (${big.join(', ')})` : ''));
}
console.log(`first visit, everything: ${MB(totalRaw)} MB, gzip -9 ${MB(total)} MB (budget 25 MB), ` +
            `brotli ${MB(totalBrotli)} MB`);
