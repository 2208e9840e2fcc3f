// A program of the playground as data: its files ({name, text}), checked,
// stored in the browser, packed into a link and into a download. Nothing here
// touches the page's elements.

import { nameProblem } from '../runtime/file_names.js';

export { nameProblem };

const MAX_FILES = 64;
const MAX_BYTES = 4 << 20;  // a program's text, all files, as UTF-8; also the most a link holds

// A program's size: the bytes its files hold as UTF-8 (as saved on a disk).
// Every limit of the page (storage, links) measures this.
export function programBytes(files) {
  let bytes = 0;
  for (const f of files) {
    const text = f.text;
    for (let i = 0; i < text.length; ++i) {
      const c = text.charCodeAt(i);
      if (c < 0x80) bytes += 1;
      else if (c < 0x800) bytes += 2;
      else if (c >= 0xd800 && c < 0xdc00 && i + 1 < text.length) { bytes += 4; ++i; } else bytes += 3;
    }
  }
  return bytes;
}

const megabytes = (n) => `${(n / 1048576).toFixed(1)} MB`;

// The files, when they are a program this page can hold; otherwise an Error
// saying what is wrong with them.
export function checkedFiles(files) {
  if (!Array.isArray(files) || files.length === 0) throw new Error('no files');
  if (files.length > MAX_FILES) throw new Error(`more than ${MAX_FILES} files`);
  const names = [];
  for (const f of files) {
    if (!f || typeof f.name !== 'string' || typeof f.text !== 'string') throw new Error('a file without name or text');
    const problem = nameProblem(f.name, names);
    if (problem) throw new Error(`${JSON.stringify(f.name.slice(0, 80))}: ${problem}`);
    names.push(f.name);
  }
  const bytes = programBytes(files);
  if (bytes > MAX_BYTES) throw new Error(`the program is larger than 4 MB (${megabytes(bytes)})`);
  return files.map((f) => ({ name: f.name, text: f.text }));
}

// ------------------------------------------------------------------ storage

// The person's programs, each under a key of its own in localStorage:
//   PROGRAM_PREFIX + id -> {id, name, files, active, modified, version}
// `version` counts the saves: a tab saves only over the version it read (or
// last saved); finding another means another tab saved the program meanwhile,
// and the tab's own text is kept as a new program instead (nothing is written
// over without asking). A record this page cannot read stays as it is, never
// overwritten: new programs get new ids.
const PROGRAM_PREFIX = 'tavlo-playground-program:';
const LAST = 'tavlo-playground-last';          // the id of the program saved last (any tab)
const OLD_KEY = 'tavlo-playground-program';    // the one program of earlier versions of the page

function newId() {
  const random = new Uint32Array(2);
  crypto.getRandomValues(random);
  return `${Date.now().toString(36)}-${random[0].toString(36)}${random[1].toString(36)}`;
}

// The program of an earlier version of the page, moved under a key of its own
// (the old key goes only once the copy is stored).
function migrate(storage) {
  const raw = storage.getItem(OLD_KEY);
  if (raw === null) return;
  let old;
  try { old = JSON.parse(raw); } catch (e) { return; }  // unreadable: left where it is
  if (!old || !Array.isArray(old.files) || old.files.length === 0) return;
  const id = newId();
  const name = String(old.files[0].name || 'program').replace(/\.[^.]*$/, '');
  storage.setItem(PROGRAM_PREFIX + id,
                  JSON.stringify({ id, name, files: old.files, active: old.active, modified: Date.now(), version: 1 }));
  storage.setItem(LAST, id);
  storage.removeItem(OLD_KEY);
}

// Reads one stored program: {id, name, files, active, modified, version}, or
// {id, name, error, raw} when it cannot be read (raw: what is stored).
export function readProgram(id, storage = window.localStorage) {
  const raw = storage.getItem(PROGRAM_PREFIX + id);
  if (raw === null) return null;
  let stored;
  try {
    stored = JSON.parse(raw);
  } catch (e) {
    return { id, name: id, error: 'what is stored is not a program', raw };
  }
  const name = stored && typeof stored.name === 'string' ? stored.name : id;
  try {
    return { id, name, files: checkedFiles(stored.files), active: stored.active,
             modified: Number(stored.modified) || 0, version: Number(stored.version) || 0 };
  } catch (e) {
    return { id, name, error: e.message, raw };
  }
}

// The stored programs, the last modified first: [{id, name, modified, error?}].
export function listPrograms(storage = window.localStorage) {
  try { migrate(storage); } catch (e) { /* a full storage keeps the old key */ }
  const programs = [];
  for (let i = 0; i < storage.length; ++i) {
    const key = storage.key(i);
    if (!key || !key.startsWith(PROGRAM_PREFIX)) continue;
    const program = readProgram(key.slice(PROGRAM_PREFIX.length), storage);
    if (program) programs.push({ id: program.id, name: program.name, modified: program.modified || 0, error: program.error });
  }
  return programs.sort((a, b) => b.modified - a.modified);
}

export function lastProgramId(storage = window.localStorage) {
  try { return storage.getItem(LAST); } catch (e) { return null; }
}

// A name no stored program has: `wanted`, else "wanted (2)", "wanted (3)" ...
export function freeName(wanted, storage = window.localStorage) {
  const taken = new Set(listPrograms(storage).map((p) => p.name));
  if (!taken.has(wanted)) return wanted;
  let n = 2;
  while (taken.has(`${wanted} (${n})`)) ++n;
  return `${wanted} (${n})`;
}

// Saves a program: {id (null: a new one), name, files, active, version}.
// Answers {id, version, forked, deleted}: `forked` when another tab saved this
// program since `version` or deleted it (`deleted`), so the text was kept as a
// new program (its id and name are in the answer): a program deleted elsewhere
// never comes back under its old key by a save. Throws when the program is too
// large or the browser refuses (storage full or off); then nothing stored changed.
export function saveProgram(program, storage = window.localStorage) {
  checkedFiles(program.files);
  let { id, name, version } = program;
  let forked = false, deleted = false;
  if (id !== null) {
    const stored = storage.getItem(PROGRAM_PREFIX + id);
    if (stored === null) {
      forked = deleted = true;
    } else {
      let current = null;
      try { current = JSON.parse(stored); } catch (e) { /* unreadable: never overwritten */ }
      if (!current || Number(current.version) !== version) forked = true;
    }
  }
  if (id === null || forked) {
    if (forked) name = freeName(name, storage);
    id = newId();
    version = 0;
  }
  const record = { id, name, files: program.files, active: program.active, modified: Date.now(), version: version + 1 };
  storage.setItem(PROGRAM_PREFIX + id, JSON.stringify(record));
  try { storage.setItem(LAST, id); } catch (e) { /* the program itself is stored */ }
  return { id, name, version: version + 1, forked, deleted };
}

const NAME_LENGTH = 80;

// Why `wanted` cannot be the name of the stored program `id` ('' when it can):
// a name is not empty, not too long, and no other stored program has it.
export function programNameProblem(wanted, id, storage = window.localStorage) {
  if (!wanted) return 'a program needs a name';
  if (wanted.length > NAME_LENGTH) return `a name has at most ${NAME_LENGTH} characters`;
  if ([...wanted].some((c) => c < ' ' || c === '\u007f')) return 'a name has no control characters';
  if (listPrograms(storage).some((p) => p.id !== id && p.name === wanted)) {
    return `another of your programs is called "${wanted}"`;
  }
  return '';
}

// Gives the stored program `id` the name `wanted` (see programNameProblem),
// keeping its files and when it was last changed. The version counts the
// rename, so a tab that read the program before saves its text as a program of
// its own instead of writing the old name back. Answers {name, version}; throws
// an Error saying why when the name is refused or the program cannot be read.
export function renameProgram(id, wanted, storage = window.localStorage) {
  const name = wanted.trim();
  const program = readProgram(id, storage);
  if (!program) throw new Error('the program is no longer stored');
  if (program.error) throw new Error(`the program cannot be opened (${program.error})`);
  const problem = programNameProblem(name, id, storage);
  if (problem) throw new Error(problem);
  const record = { id, name, files: program.files, active: program.active, modified: program.modified,
                   version: program.version + 1 };
  storage.setItem(PROGRAM_PREFIX + id, JSON.stringify(record));
  return { name, version: record.version };
}

// Deletes the stored program `id`. Answers what was stored (the text that
// restoreProgram puts back), or null when nothing was.
export function deleteProgram(id, storage = window.localStorage) {
  const raw = storage.getItem(PROGRAM_PREFIX + id);
  if (raw === null) return null;
  storage.removeItem(PROGRAM_PREFIX + id);
  try { if (storage.getItem(LAST) === id) storage.removeItem(LAST); } catch (e) { /* the program is deleted */ }
  return raw;
}

// Puts back the program `id` that deleteProgram took away (`raw`: what it
// answered), under its own key. Its version counts the return, so a tab that
// showed it before the delete saves its text as a program of its own; its name,
// when another program took it meanwhile, becomes a free one ("shapes (2)").
// What is not JSON goes back exactly as it was. Answers {id, name}; throws when
// the browser refuses to store it.
export function restoreProgram(id, raw, storage = window.localStorage) {
  const key = PROGRAM_PREFIX + id;
  if (storage.getItem(key) === null) {
    let record = null;
    try { record = JSON.parse(raw); } catch (e) { /* put back as it was */ }
    if (record && typeof record === 'object') {
      if (typeof record.name === 'string') record.name = freeName(record.name, storage);
      record.version = (Number(record.version) || 0) + 1;
      raw = JSON.stringify(record);
    }
    storage.setItem(key, raw);
  }
  const back = readProgram(id, storage);
  return { id, name: back ? back.name : id };
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
      throw new Error('the program is larger than 4 MB');
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
  checkedFiles(files);  // the same rule as the link's reader: what is shared can be opened
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
    // JSON escapes a character in at most 6 bytes; checkedFiles measures the program itself.
    text = new TextDecoder('utf-8', { fatal: true }).decode(await readAll(unpacked, 6 * MAX_BYTES + 65536));
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

// The files of a zip archive (stored or deflated entries): [{name, text}], each
// under its own name without its folders; entries that are not a program's files
// (other suffixes, folders) are left out and named in `skipped`. An Error when
// the archive cannot be read.
export async function readZip(blob) {
  const bytes = new Uint8Array(await blob.arrayBuffer());
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let end = -1;
  for (let at = bytes.length - 22; at >= Math.max(0, bytes.length - 22 - 65535); --at) {
    if (view.getUint32(at, true) === 0x06054b50) { end = at; break; }
  }
  if (end < 0) throw new Error('not a zip archive');
  const count = view.getUint16(end + 10, true);
  let at = view.getUint32(end + 16, true);
  const files = [], skipped = [];
  let total = 0;
  const decoder = new TextDecoder('utf-8', { fatal: true });
  for (let i = 0; i < count; ++i) {
    if (at + 46 > bytes.length || view.getUint32(at, true) !== 0x02014b50) throw new Error('the archive is damaged');
    const method = view.getUint16(at + 10, true);
    const packed = view.getUint32(at + 20, true), size = view.getUint32(at + 24, true);
    const nameLength = view.getUint16(at + 28, true);
    const extra = view.getUint16(at + 30, true), comment = view.getUint16(at + 32, true);
    const local = view.getUint32(at + 42, true);
    const path = new TextDecoder().decode(bytes.subarray(at + 46, at + 46 + nameLength));
    at += 46 + nameLength + extra + comment;
    const name = path.replace(/^.*\//, '');
    if (path.endsWith('/')) continue;  // a folder
    if (nameProblem(name, files.map((f) => f.name)) || (method !== 0 && method !== 8)) {
      skipped.push(path);
      continue;
    }
    total += size;
    if (total > MAX_BYTES) throw new Error('the program is larger than 4 MB');
    if (local + 30 > bytes.length) throw new Error('the archive is damaged');
    const start = local + 30 + view.getUint16(local + 26, true) + view.getUint16(local + 28, true);
    let data = bytes.subarray(start, start + packed);
    if (method === 8) {
      const stream = new Blob([data]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
      data = await readAll(stream, MAX_BYTES);
    }
    let text;
    try { text = decoder.decode(data); } catch (e) { throw new Error(`${path} is not text (UTF-8)`); }
    files.push({ name, text });
  }
  if (files.length === 0) throw new Error('it holds no .cpp, .h or .hpp file');
  return { files: checkedFiles(files), skipped };
}

