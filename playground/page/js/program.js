// A program of the playground as data: its files ({name, text}), checked,
// stored in the browser, packed into a link and into a download. Nothing here
// touches the page's elements.

// Names a tab may have: one file of the program's folder, a C++ source or header.
const NAME = /^[A-Za-z0-9_][A-Za-z0-9_.-]{0,63}\.(cpp|h|hpp)$/;
const MAX_FILES = 64;
const MAX_BYTES = 4 << 20;  // a program's text, all files; also the most a link unpacks to

// Why a file name cannot be used ('' when it can): `others` are the names taken.
export function nameProblem(name, others) {
  if (!NAME.test(name)) return 'a file name is letters, digits, _ . - and ends in .cpp, .h or .hpp';
  if (others.includes(name)) return `there is a file ${name} already`;
  return '';
}

// The files, when they are a program this page can hold; otherwise an Error
// saying what is wrong with them.
export function checkedFiles(files) {
  if (!Array.isArray(files) || files.length === 0) throw new Error('no files');
  if (files.length > MAX_FILES) throw new Error(`more than ${MAX_FILES} files`);
  const names = [];
  let bytes = 0;
  for (const f of files) {
    if (!f || typeof f.name !== 'string' || typeof f.text !== 'string') throw new Error('a file without name or text');
    const problem = nameProblem(f.name, names);
    if (problem) throw new Error(`${JSON.stringify(f.name.slice(0, 80))}: ${problem}`);
    names.push(f.name);
    bytes += f.text.length;
  }
  if (bytes > MAX_BYTES) throw new Error('the program is larger than 4 MB');
  return files.map((f) => ({ name: f.name, text: f.text }));
}

// ------------------------------------------------------------------ storage

const KEY = 'tavlo-playground-program';

// The stored program: {files, active}, null when none is stored, or
// {error} when what is stored cannot be read.
export function loadStored(storage = window.localStorage) {
  let raw;
  try { raw = storage.getItem(KEY); } catch (e) { return { error: `the browser's storage cannot be read (${e.message})` }; }
  if (raw === null) return null;
  try {
    const stored = JSON.parse(raw);
    return { files: checkedFiles(stored.files), active: stored.active };
  } catch (e) {
    return { error: `the stored program cannot be read (${e.message})` };
  }
}

// Stores the program; throws when the browser refuses (storage full or off).
export function store(files, active, storage = window.localStorage) {
  storage.setItem(KEY, JSON.stringify({ files, active }));
}

// ------------------------------------------------------------------ links

function base64url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text)) throw new Error('the code has characters a link never holds');
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/') + '='.repeat((4 - (text.length % 4)) % 4));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// Reads a stream to its end, refusing more than `limit` bytes (a link that
// unpacks to gigabytes stops there).
async function readAll(stream, limit) {
  const reader = stream.getReader();
  const parts = [];
  let length = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    length += value.length;
    if (length > limit) {
      reader.cancel().catch(() => {});
      throw new Error('the program in the link is larger than 4 MB');
    }
    parts.push(value);
  }
  const all = new Uint8Array(length);
  let at = 0;
  for (const part of parts) { all.set(part, at); at += part.length; }
  return all;
}

// The program as the text after "#code=": its files as JSON, deflated, base64url.
export async function encodeLink(files) {
  const json = new TextEncoder().encode(JSON.stringify({ files }));
  const packed = new Blob([json]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  return base64url(await readAll(packed, Infinity));
}

// The files of a link's code; an Error when the link is broken (cut short,
// mistyped, or not a program).
export async function decodeLink(code) {
  const bytes = fromBase64url(code);
  const unpacked = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
  let text;
  try {
    text = new TextDecoder('utf-8', { fatal: true }).decode(await readAll(unpacked, MAX_BYTES + 65536));
  } catch (e) {
    throw new Error(e.message.includes('larger') ? e.message : 'the link is cut short or changed');
  }
  let data;
  try { data = JSON.parse(text); } catch { throw new Error('the link does not hold a program'); }
  return checkedFiles(data && data.files);
}

// ------------------------------------------------------------------ downloads

const CRC_TABLE = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

export function crc32(bytes) {
  let c = 0xffffffff;
  for (let i = 0; i < bytes.length; ++i) c = CRC_TABLE[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

// A zip archive of the files, stored uncompressed (the names are UTF-8 and the
// dates 1 January 1980: the archive is the same for the same files).
export function zipArchive(files) {
  const encoder = new TextEncoder();
  const locals = [], centrals = [];
  let offset = 0;
  for (const file of files) {
    const name = encoder.encode(file.name), data = encoder.encode(file.text), crc = crc32(data);
    const header = (signature, size) => {
      const b = new DataView(new ArrayBuffer(size));
      b.setUint32(0, signature, true);
      return b;
    };
    const local = header(0x04034b50, 30);
    local.setUint16(4, 20, true);           // version needed: 2.0
    local.setUint16(6, 0x0800, true);       // UTF-8 names
    local.setUint16(8, 0, true);            // stored
    local.setUint16(12, 0x21, true);        // date: 1980-01-01
    local.setUint32(14, crc, true);
    local.setUint32(18, data.length, true);
    local.setUint32(22, data.length, true);
    local.setUint16(26, name.length, true);
    const central = header(0x02014b50, 46);
    central.setUint16(4, 20, true);
    central.setUint16(6, 20, true);
    central.setUint16(8, 0x0800, true);
    central.setUint16(14, 0x21, true);
    central.setUint32(16, crc, true);
    central.setUint32(20, data.length, true);
    central.setUint32(24, data.length, true);
    central.setUint16(28, name.length, true);
    central.setUint32(42, offset, true);
    locals.push(local, name, data);
    centrals.push(central, name);
    offset += 30 + name.length + data.length;
  }
  const size = centrals.reduce((sum, part) => sum + part.byteLength, 0);
  const end = new DataView(new ArrayBuffer(22));
  end.setUint32(0, 0x06054b50, true);
  end.setUint16(8, files.length, true);
  end.setUint16(10, files.length, true);
  end.setUint32(12, size, true);
  end.setUint32(16, offset, true);
  return new Blob([...locals, ...centrals, end], { type: 'application/zip' });
}

// ------------------------------------------------------------------ URL options

// URL options, named like the programs' own: seed=N (--seed), client=WxH
// (--client), frames=N (--frames). The program checks their values.
export const OPTIONS = ['seed', 'client', 'frames'];

export function urlOptions(search) {
  const params = new URLSearchParams(search);
  const unknown = [];
  params.forEach((value, name) => { if (!OPTIONS.includes(name) && !unknown.includes(name)) unknown.push(name); });
  const args = OPTIONS.filter((name) => params.has(name)).map((name) => `--${name}=${params.get(name)}`);
  return { args, unknown };
}
