// What a program's trap means, in words a beginner can act on, and where it
// happened: the function (from the module's name section) and, when the
// program's own code was compiled with line tables (-gline-tables-only), the
// file and line of the innermost frame in one of the program's files.
//
//   describeTrap(error, { module, codeOffset, files, outOfMemory })
//     -> { text, file, line }   (file and line only when known)
//   stackPlace(error, { module, codeOffset, files }, tables)
//     -> { name, file, line }   where a stack (any Error's, e.g. one made in an
//                               import the program called) is in the program

// The engine's trap messages, and what they most often mean in a student's program.
const KINDS = [
  [/unreachable/, 'it reached a point it should never reach: abort() was called, an assert() failed, ' +
                  'or a function that must return a value ended without one'],
  [/memory access out of bounds|out of bounds memory access/,
   'it used memory outside its own: a bad pointer, an index past the end of an array, or the stack ' +
   '(1 MB) overflowing (a recursion too deep, a local array too large)'],
  [/divide by zero|remainder by zero|division by zero/, 'an integer was divided by zero'],
  [/integer overflow/, 'an integer division overflowed (the smallest int divided by -1)'],
  [/float unrepresentable|unrepresentable in integer/,
   'a floating-point number too large (or not a number) was converted to an integer'],
  [/null function|signature mismatch|table index is out of bounds|indirect call/,
   'it called a function through a bad function pointer (null, dangling, or of another type)'],
  [/call stack|too much recursion/, 'a recursion went too deep (a function calling itself without end)'],
];

// What a program's null pointer check calls (the preludes define it): WebAssembly's
// memory starts at address 0, so a read or write there would otherwise go on silently.
const NULL_CHECK = '__ubsan_handle_type_mismatch_minimal_abort';

export function trapKind(message) {
  for (const [pattern, meaning] of KINDS) if (pattern.test(message)) return meaning;
  return null;
}

// ------------------------------------------------------------ reading the module

class Reader {
  constructor(bytes, at = 0) { this.bytes = bytes; this.at = at; }
  u8() { return this.bytes[this.at++]; }
  u16() { const v = this.bytes[this.at] | (this.bytes[this.at + 1] << 8); this.at += 2; return v; }
  u32() {
    const b = this.bytes, a = this.at;
    this.at += 4;
    return (b[a] | (b[a + 1] << 8) | (b[a + 2] << 16) | (b[a + 3] << 24)) >>> 0;
  }
  uleb() {
    let result = 0, shift = 0, byte;
    do {
      if (this.at >= this.bytes.length) throw new Error('truncated');
      byte = this.bytes[this.at++];
      if (shift < 32) result += (byte & 0x7f) * 2 ** shift;
      shift += 7;
    } while (byte & 0x80);
    return result;
  }
  sleb() {
    let result = 0, shift = 0, byte;
    do {
      if (this.at >= this.bytes.length) throw new Error('truncated');
      byte = this.bytes[this.at++];
      if (shift < 32) result |= (byte & 0x7f) << shift;
      shift += 7;
    } while (byte & 0x80);
    if (shift < 32 && (byte & 0x40)) result |= -1 << shift;
    return result;
  }
  string() {
    let end = this.at;
    while (end < this.bytes.length && this.bytes[end] !== 0) ++end;
    const text = new TextDecoder().decode(this.bytes.subarray(this.at, end));
    this.at = end + 1;
    return text;
  }
  name() {
    const length = this.uleb();
    const text = new TextDecoder().decode(this.bytes.subarray(this.at, this.at + length));
    this.at += length;
    return text;
  }
}

function customSection(module, name) {
  const sections = WebAssembly.Module.customSections(module, name);
  return sections.length ? new Uint8Array(sections[0]) : null;
}

// Function index -> name, from the "name" section (none: an empty map).
export function functionNames(module) {
  const names = new Map();
  const section = customSection(module, 'name');
  if (!section) return names;
  try {
    const r = new Reader(section);
    while (r.at < section.length) {
      const id = r.u8();
      const size = r.uleb();
      const end = r.at + size;
      if (id === 1) {
        for (let count = r.uleb(); count > 0; --count) {
          const index = r.uleb();
          names.set(index, r.name());
        }
      }
      r.at = end;
    }
  } catch (error) { /* a damaged section names nothing more */ }
  return names;
}

// Where the code section's contents start in the module's bytes: wasm DWARF
// counts code addresses from there, the engine's stack from the module's start.
export function codeOffset(bytes) {
  const r = new Reader(bytes, 8);
  while (r.at < bytes.length) {
    const id = r.u8();
    const size = r.uleb();
    if (id === 10) return r.at;
    r.at += size;
  }
  return -1;
}

// The line table of .debug_line (DWARF 2 to 5): rows {address, end, file, line}
// sorted by address, each covering [address, end).
export function lineTable(module) {
  const section = customSection(module, '.debug_line');
  if (!section) return [];
  const lineStrings = customSection(module, '.debug_line_str');
  const strings = customSection(module, '.debug_str');
  const rows = [];
  try {
    const r = new Reader(section);
    while (r.at < section.length) readUnit(r, rows, lineStrings, strings);
  } catch (error) { /* what was read so far is used */ }
  rows.sort((a, b) => a.address - b.address);
  return rows;
}

const DW_FORM = { string: 0x08, line_strp: 0x1f, strp: 0x0e, udata: 0x0f, data1: 0x0b, data2: 0x05,
                  data4: 0x06, data8: 0x07, data16: 0x1e, block: 0x09 };

function readForm(r, form, lineStrings, strings) {
  const at = (table, offset) => (table ? new Reader(table, offset).string() : '');
  switch (form) {
    case DW_FORM.string: return r.string();
    case DW_FORM.line_strp: return at(lineStrings, r.u32());
    case DW_FORM.strp: return at(strings, r.u32());
    case DW_FORM.udata: return r.uleb();
    case DW_FORM.data1: return r.u8();
    case DW_FORM.data2: return r.u16();
    case DW_FORM.data4: return r.u32();
    case DW_FORM.data8: r.at += 8; return 0;
    case DW_FORM.data16: r.at += 16; return 0;
    case DW_FORM.block: r.at += r.uleb(); return 0;
    default: throw new Error(`form ${form}`);
  }
}

function readEntries(r, lineStrings, strings) {
  const formats = [];
  for (let count = r.u8(); count > 0; --count) formats.push([r.uleb(), r.uleb()]);
  const entries = [];
  for (let count = r.uleb(); count > 0; --count) {
    const entry = {};
    for (const [type, form] of formats) {
      const value = readForm(r, form, lineStrings, strings);
      if (type === 1) entry.path = value;
      else if (type === 2) entry.directory = value;
    }
    entries.push(entry);
  }
  return entries;
}

function readUnit(r, rows, lineStrings, strings) {
  const length = r.u32();
  if (length === 0xffffffff) throw new Error('64-bit DWARF');
  const end = r.at + length;
  const version = r.u16();
  if (version >= 5) r.at += 2;  // address size, segment selector size
  const headerLength = r.u32();
  const programStart = r.at + headerLength;
  const minLength = r.u8();
  if (version >= 4) r.u8();  // maximum operations per instruction
  r.u8();  // default is_stmt
  const lineBase = (r.u8() << 24) >> 24;
  const lineRange = r.u8();
  const opcodeBase = r.u8();
  const opcodeLengths = [0];
  for (let i = 1; i < opcodeBase; ++i) opcodeLengths.push(r.u8());
  let files;
  if (version >= 5) {
    readEntries(r, lineStrings, strings);  // directories
    files = readEntries(r, lineStrings, strings).map((f) => f.path || '');
  } else {
    while (r.string() !== '');  // directories
    files = [''];  // files count from 1
    for (;;) {
      const name = r.string();
      if (name === '') break;
      r.uleb(); r.uleb(); r.uleb();
      files.push(name);
    }
  }
  r.at = programStart;
  let address = 0, file = 1, line = 1, last = null;
  const emit = () => {
    if (last) last.end = address;
    last = { address, end: address, file: files[file] || '', line };
    rows.push(last);
  };
  while (r.at < end) {
    const op = r.u8();
    if (op >= opcodeBase) {
      const adjusted = op - opcodeBase;
      address += Math.floor(adjusted / lineRange) * minLength;
      line += lineBase + (adjusted % lineRange);
      emit();
    } else if (op === 0) {
      const size = r.uleb();
      const next = r.at + size;
      const sub = r.u8();
      if (sub === 1) {  // end of sequence
        if (last) last.end = address;
        last = null;
        address = 0; file = 1; line = 1;
      } else if (sub === 2) {
        address = r.u32();
      }
      r.at = next;
    } else if (op === 1) emit();
    else if (op === 2) address += r.uleb() * minLength;
    else if (op === 3) line += r.sleb();
    else if (op === 4) file = r.uleb();
    else if (op === 8) address += Math.floor((255 - opcodeBase) / lineRange) * minLength;
    else if (op === 9) address += r.u16();
    else for (let i = 0; i < opcodeLengths[op]; ++i) r.uleb();
  }
  r.at = end;
}

function lineAt(rows, address) {
  let low = 0, high = rows.length - 1, found = null;
  while (low <= high) {
    const middle = (low + high) >> 1;
    if (rows[middle].address <= address) { found = rows[middle]; low = middle + 1; } else high = middle - 1;
  }
  return found && address < found.end ? found : null;
}

// ------------------------------------------------------------ names

// A function's name as it was written ("Scene::draw", "draw_frame"), from its
// mangled form (the linker's name section has most names demangled already);
// names that are not mangled, or not understood, as they are.
export function demangle(name) {
  // The C library calls the program's main through these.
  if (name === '__original_main' || name === '__main_argc_argv' || name === '__main_void') return 'main';
  if (!name.startsWith('_Z')) return name;
  const r = { text: name, at: 2 };
  const source = () => {
    let digits = '';
    while (/[0-9]/.test(r.text[r.at] || '')) digits += r.text[r.at++];
    if (!digits) return null;
    const part = r.text.slice(r.at, r.at + Number(digits));
    r.at += Number(digits);
    return part === '_GLOBAL__N_1' ? '(anonymous namespace)' : part;
  };
  const skipTemplate = () => {
    let depth = 0;
    do {
      const c = r.text[r.at++];
      if (c === undefined) return false;
      if (c === 'I') ++depth;
      else if (c === 'E') --depth;
    } while (depth > 0);
    return true;
  };
  if (r.text[r.at] === 'L') ++r.at;  // internal linkage
  if (r.text[r.at] === 'N') {
    ++r.at;
    while ('rVKRO'.includes(r.text[r.at])) ++r.at;  // qualifiers of a member function
    const parts = [];
    if (r.text.startsWith('St', r.at)) { parts.push('std'); r.at += 2; }
    while (r.at < r.text.length && r.text[r.at] !== 'E') {
      if (r.text[r.at] === 'I') { if (!skipTemplate()) return name; continue; }
      if (r.text[r.at] === 'C' && /[1-3]/.test(r.text[r.at + 1])) {  // a constructor
        parts.push(parts[parts.length - 1] || '?');
        r.at += 2;
        continue;
      }
      if (r.text[r.at] === 'D' && /[0-2]/.test(r.text[r.at + 1])) {  // a destructor
        parts.push(`~${parts[parts.length - 1] || '?'}`);
        r.at += 2;
        continue;
      }
      const part = source();
      if (part === null) return name;
      parts.push(part);
    }
    return parts.length ? parts.join('::') : name;
  }
  const part = source();
  return part === null ? name : part;
}

// ------------------------------------------------------------ the description

// The frames of the engine's stack that are in the module: {index, offset}
// (the function's index, the byte's offset from the module's start), innermost first.
function wasmFrames(error) {
  const stack = String((error && error.stack) || '');
  const frames = [];
  for (const m of stack.matchAll(/wasm-function\[(\d+)\]:0x([0-9a-f]+)/g)) {
    frames.push({ index: Number(m[1]), offset: parseInt(m[2], 16) });
  }
  return frames;
}

// What stackPlace reads of a module, read once: its functions' names and its line table.
export function programTables(info) {
  return { names: info.module ? functionNames(info.module) : new Map(),
           rows: info.module && info.codeOffset >= 0 ? lineTable(info.module) : [] };
}

// Where an Error's stack is in the program: the innermost frame in one of the
// program's own files (info.files), else the innermost frame of the module:
// {name (the function's, '' when unknown), file, line (null and 0 when unknown)}.
export function stackPlace(error, info, tables = null) {
  const frames = wasmFrames(error);
  if (!frames.length || !info.module) return { name: '', file: null, line: 0 };
  const { names, rows } = tables || programTables(info);
  const own = new Set(info.files || []);
  const base = (path) => path.replace(/^.*\//, '');
  for (const frame of frames) {
    const row = lineAt(rows, frame.offset - info.codeOffset);
    if (row && own.has(base(row.file))) {
      const name = names.get(frame.index);
      return { name: name ? demangle(name) : '', file: base(row.file), line: row.line };
    }
  }
  const name = names.get(frames[0].index);
  return { name: name ? demangle(name) : '', file: null, line: 0 };
}

// info: {module (WebAssembly.Module), codeOffset (codeOffset() of its bytes),
// files: the program's file names, outOfMemory: whether it ran out of memory,
// memoryLimit: bytes}.
export function describeTrap(error, info) {
  const message = String(error && error.message ? error.message : error);
  const frames = wasmFrames(error);
  const names = frames.length && info.module ? functionNames(info.module) : new Map();
  let what;
  if (info.outOfMemory) {
    what = `it ran out of memory: a program may use ${Math.round(info.memoryLimit / 1048576)} MB, ` +
           'and it asked for more (a container or an allocation growing without end?)';
  } else if (frames.length && names.get(frames[0].index) === NULL_CHECK) {
    what = 'it read or wrote through a null pointer (a pointer that points nowhere)';
  } else {
    const kind = trapKind(message);
    what = kind || message;
  }
  const place = stackPlace(error, info, frames.length && info.module
    ? { names, rows: info.codeOffset >= 0 ? lineTable(info.module) : [] } : null);
  let where = place.name ? ` in ${place.name}` : '';
  if (place.file) where += ` (${place.file}:${place.line})`;
  return { text: `the program stopped${where}: ${what}`, file: place.file, line: place.line };
}

// The most memory a program may have: the link's --max-memory (bytes).
export function memoryLimitOf(site) {
  const flag = (site.link || []).map((f) => /--max-memory=(\d+)/.exec(f)).find(Boolean);
  return flag ? Number(flag[1]) : 4 * 1024 * 1024 * 1024;
}

// Whether the program ran out of memory: `new` said so (the exported flag), or
// the memory is so close to its limit that a plain malloc() failed.
export function ranOutOfMemory(instance, limit) {
  if (!instance) return false;
  try {
    if (instance.exports.tavlo_page_out_of_memory && instance.exports.tavlo_page_out_of_memory()) return true;
  } catch (error) { /* not callable after all */ }
  const memory = instance.exports.memory;
  return memory instanceof WebAssembly.Memory && memory.buffer.byteLength + (16 << 20) > limit;
}
