// The copy of the compiler's bundle.js the site serves (make-site.mjs writes
// it): the npm bundle with three changes, each checked to apply to exactly one
// place, so a new version of the bundle that moved one stops the build.
//
//  1. The runtime wraps every response it fetches in a new Response to count
//     progress, whether or not anyone listens; such a response has no URL, and
//     the browser keeps no compiled code for it. The copy fetches with the
//     global fetch untouched (the compiler Worker's, which counts progress).
//  2. The copy is imported from Cache Storage through a blob: URL; its files
//     are found next to where it was served from (globalThis.tavloCompilerUrl).
//  3. The runtime's in-memory file grows by a new array and a copy of the whole
//     file at every write. clang writes an object file mostly a byte at a time
//     (some 20,000 writes for a 100 KB object): gigabytes copied, most of a
//     compile's time in the page and all but a tenth of a link's. The copy's
//     files grow by doubling a buffer of their own and take a write in place.
//     A file's data is still a Uint8Array of exactly its size (a view of that
//     buffer); bytes a write skips over are zeros, as before; an array the file
//     did not make itself (the caller's tree) is never written into.

const wrapper = 'if (fetchProgress !== void 0) {';
const streamClass = 'var WriteStream = class extends OutputStream {';
export const slowWrite = `  write(contents) {
    const offset = Number(this.offset);
    const newData = new Uint8Array(Math.max(this.file.data.length, offset + contents.length));
    newData.set(this.file.data);
    newData.subarray(offset).set(contents);
    this.file.data = newData;
    this.offset += BigInt(contents.length);
  }`;
export const fastWrite = `  write(contents) {
    const offset = Number(this.offset);
    const end = offset + contents.length;
    const file = this.file;
    const old = file.data;
    let buffer = ownBuffers.get(file);
    if (buffer === undefined || old.buffer !== buffer || old.byteOffset !== 0 || end > buffer.byteLength) {
      const grown = new Uint8Array(Math.max(4096, 2 * Math.max(old.length, end)));
      grown.set(old);
      buffer = grown.buffer;
      ownBuffers.set(file, buffer);
    } else if (offset > old.length) {
      new Uint8Array(buffer, old.length, offset - old.length).fill(0);
    }
    const data = new Uint8Array(buffer, 0, Math.max(old.length, end));
    data.set(contents, offset);
    file.data = data;
    this.offset += BigInt(contents.length);
  }`;
// Each file's own growing buffer. A read hands out a view of the file's data,
// which the bindings copy into the compiler's memory at once.
export const ownBuffersDeclaration = 'const ownBuffers = new WeakMap();';

// The site's bundle.js made from the npm package's text.
export function patchCompilerBundle(text, name = 'bundle.js') {
  for (const [what, piece] of [['the progress wrapper', wrapper], ["the file stream's write", slowWrite],
                               ['the file stream', streamClass]]) {
    if (text.split(piece).length !== 2) {
      throw new Error(`${name}: ${what} (${piece.split('\n')[0].trim()}) is not where it was: look at the new version`);
    }
  }
  return text.replace(wrapper, 'if (false) { /* the page counts progress itself (compiler-bundle.mjs) */')
    .replace(slowWrite, fastWrite)
    .replace(streamClass, `${ownBuffersDeclaration}\n${streamClass}`)
    .replaceAll('import.meta.url', '(globalThis.tavloCompilerUrl || import.meta.url)');
}
