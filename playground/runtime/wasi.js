// A small WASI preview1 for the playground's programs: arguments, clocks,
// random numbers, standard output and error, and files in memory. Two folders
// are given to the program: "/" (its current folder: TAVLO.SCR and whatever
// it writes) and "/fonts" (the faces the package reads). What it does not know
// answers ENOSYS.

const ERRNO = { SUCCESS: 0, ACCES: 2, BADF: 8, EXIST: 20, INVAL: 28, ISDIR: 31, NOENT: 44,
                NOSYS: 52, NOTDIR: 54, NOTEMPTY: 55, SPIPE: 70, NOTCAPABLE: 76 };
const FILETYPE = { CHARACTER_DEVICE: 2, DIRECTORY: 3, REGULAR_FILE: 4 };
const OFLAGS = { CREAT: 1, DIRECTORY: 2, EXCL: 4, TRUNC: 8 };
const FDFLAGS_APPEND = 1;
const RIGHT_FD_READ = 1n << 1n, RIGHT_FD_WRITE = 1n << 6n;

// Thrown by proc_exit: ends the program's run with its code.
export class ProcExit extends Error {
  constructor(code) {
    super(`exit ${code}`);
    this.code = code;
  }
}

class WasiError extends Error {
  constructor(errno) {
    super(`errno ${errno}`);
    this.errno = errno;
  }
}

function folder() { return { kind: 'folder', entries: new Map() }; }
function file(bytes) { return { kind: 'file', data: bytes, size: bytes.length, mtime: Date.now() }; }

// options: { args: [...], folders: { '/': {name: Uint8Array}, '/fonts': {...} },
//            write(stream, text), changed(root, name, bytes) (a file of a folder
//            was written or removed: bytes null),
//            later: { '/fonts': {name: () => Promise<Uint8Array>} } files a folder
//            has that are fetched only when the program first opens or looks at
//            them: path_open and path_filestat_get then suspend the program
//            (WebAssembly.Suspending) until the file is in }
export function createWasi(options) {
  let memory = null;
  const view = () => new DataView(memory.buffer);
  const bytes = () => new Uint8Array(memory.buffer);
  const encoder = new TextEncoder();
  const decoders = { 1: new TextDecoder(), 2: new TextDecoder() };

  // The folders, each a preopened descriptor from 3 on.
  const roots = [];
  for (const [path, files] of Object.entries(options.folders)) {
    const node = folder();
    for (const [name, data] of Object.entries(files)) {
      // A name with folders ("records/a.txt", as the program wrote it): made as folders.
      const parts = name.split('/').filter((part) => part !== '' && part !== '.' && part !== '..');
      let at = node;
      for (const part of parts.slice(0, -1)) {
        if (!at.entries.has(part) || at.entries.get(part).kind !== 'folder') at.entries.set(part, folder());
        at = at.entries.get(part);
      }
      if (parts.length > 0) at.entries.set(parts[parts.length - 1], file(data));
    }
    roots.push({ path, node });
  }
  const fds = new Map();
  roots.forEach((root, i) => fds.set(3 + i, { node: root.node, root, path: '', preopen: true }));
  let nextFd = 3 + roots.length;

  function descriptor(fd) {
    const d = fds.get(fd);
    if (!d) throw new WasiError(ERRNO.BADF);
    return d;
  }
  const text = (ptr, len) => new TextDecoder().decode(bytes().subarray(ptr, ptr + len));

  // The node at `path` below the folder of descriptor `d`: {parent, name, node}.
  function resolve(d, path) {
    if (d.node.kind !== 'folder') throw new WasiError(ERRNO.NOTDIR);
    const parts = [];
    for (const part of (d.path ? `${d.path}/${path}` : path).split('/')) {
      if (part === '' || part === '.') continue;
      if (part === '..') {
        if (parts.length === 0) throw new WasiError(ERRNO.NOTCAPABLE);
        parts.pop();
      } else {
        parts.push(part);
      }
    }
    let parent = null, node = d.root.node, name = '';
    for (let i = 0; i < parts.length; ++i) {
      if (node === undefined) throw new WasiError(ERRNO.NOENT);
      if (node.kind !== 'folder') throw new WasiError(ERRNO.NOTDIR);
      parent = node;
      name = parts[i];
      node = node.entries.get(name);
    }
    return { parent, name, node, path: parts.join('/') };
  }

  function changed(d) {
    if (d.node.kind === 'file' && options.changed) options.changed(d.root.path, d.path, d.node.data.subarray(0, d.node.size));
  }

  function grow(node, size) {
    if (size <= node.data.length) return;
    const data = new Uint8Array(Math.max(size, node.data.length * 2, 256));
    data.set(node.data.subarray(0, node.size));
    node.data = data;
  }

  function iovecs(ptr, count) {
    const v = view(), list = [];
    for (let i = 0; i < count; ++i) {
      list.push({ ptr: v.getUint32(ptr + i * 8, true), len: v.getUint32(ptr + i * 8 + 4, true) });
    }
    return list;
  }

  function writeStat(ptr, node) {
    const v = view();
    for (let i = 0; i < 64; i += 8) v.setBigUint64(ptr + i, 0n, true);
    v.setUint8(ptr + 16, node.kind === 'folder' ? FILETYPE.DIRECTORY : FILETYPE.REGULAR_FILE);
    v.setBigUint64(ptr + 24, 1n, true);
    v.setBigUint64(ptr + 32, BigInt(node.kind === 'file' ? node.size : 0), true);
    const time = BigInt(node.mtime || 0) * 1000000n;
    v.setBigUint64(ptr + 40, time, true);
    v.setBigUint64(ptr + 48, time, true);
    v.setBigUint64(ptr + 56, time, true);
  }

  // Each call answers an errno; a WasiError thrown inside becomes its errno.
  const guarded = (fn) => (...args) => {
    try {
      return fn(...args) ?? ERRNO.SUCCESS;
    } catch (error) {
      if (error instanceof WasiError) return error.errno;
      throw error;
    }
  };

  const calls = {
    args_sizes_get(countPtr, sizePtr) {
      view().setUint32(countPtr, options.args.length, true);
      view().setUint32(sizePtr, options.args.reduce((n, a) => n + encoder.encode(a).length + 1, 0), true);
    },
    args_get(argvPtr, bufPtr) {
      let at = bufPtr;
      options.args.forEach((arg, i) => {
        view().setUint32(argvPtr + i * 4, at, true);
        const encoded = encoder.encode(arg);
        bytes().set(encoded, at);
        bytes()[at + encoded.length] = 0;
        at += encoded.length + 1;
      });
    },
    environ_sizes_get(countPtr, sizePtr) {
      view().setUint32(countPtr, 0, true);
      view().setUint32(sizePtr, 0, true);
    },
    environ_get() {},
    clock_res_get(id, ptr) { view().setBigUint64(ptr, 1000n, true); },
    clock_time_get(id, precision, ptr) {
      const ns = id === 0 ? BigInt(Date.now()) * 1000000n
                          : BigInt(Math.round((performance.timeOrigin + performance.now()) * 1e6));
      view().setBigUint64(ptr, ns, true);
    },
    random_get(ptr, len) {
      for (let at = 0; at < len; at += 65536) {
        crypto.getRandomValues(bytes().subarray(ptr + at, ptr + Math.min(len, at + 65536)));
      }
    },
    sched_yield() {},
    proc_exit(code) { throw new ProcExit(code); },

    fd_prestat_get(fd, ptr) {
      const d = fds.get(fd);
      if (!d || !d.preopen) return ERRNO.BADF;
      view().setUint8(ptr, 0);
      view().setUint32(ptr + 4, encoder.encode(d.root.path).length, true);
    },
    fd_prestat_dir_name(fd, ptr, len) {
      const d = fds.get(fd);
      if (!d || !d.preopen) return ERRNO.BADF;
      bytes().set(encoder.encode(d.root.path).subarray(0, len), ptr);
    },
    fd_fdstat_get(fd, ptr) {
      const v = view();
      let type = FILETYPE.CHARACTER_DEVICE, flags = 0, rights = RIGHT_FD_READ | RIGHT_FD_WRITE;
      if (fd > 2) {
        const d = descriptor(fd);
        type = d.node.kind === 'folder' ? FILETYPE.DIRECTORY : FILETYPE.REGULAR_FILE;
        flags = d.append ? FDFLAGS_APPEND : 0;
        rights = 0xffffffffffffffffn;
      } else if (fd < 0) {
        return ERRNO.BADF;
      }
      v.setUint8(ptr, type);
      v.setUint16(ptr + 2, flags, true);
      v.setBigUint64(ptr + 8, rights, true);
      v.setBigUint64(ptr + 16, rights, true);
    },
    fd_fdstat_set_flags(fd, flags) {
      if (fd > 2) descriptor(fd).append = (flags & FDFLAGS_APPEND) !== 0;
    },
    fd_filestat_get(fd, ptr) {
      if (fd <= 2) {
        writeStat(ptr, { kind: 'file', size: 0 });
        view().setUint8(ptr + 16, FILETYPE.CHARACTER_DEVICE);
        return;
      }
      writeStat(ptr, descriptor(fd).node);
    },
    fd_filestat_set_size(fd, size) {
      const d = descriptor(fd);
      if (d.node.kind !== 'file') return ERRNO.ISDIR;
      if (!d.writable) return ERRNO.BADF;
      const n = Number(size);
      grow(d.node, n);
      if (n > d.node.size) d.node.data.fill(0, d.node.size, n);
      d.node.size = n;
      d.node.mtime = Date.now();
      changed(d);
    },
    fd_close(fd) {
      if (fd <= 2) return;
      const d = descriptor(fd);
      if (d.preopen) return ERRNO.BADF;
      fds.delete(fd);
      if (options.closed) options.closed(d.root.path, d.path);
    },
    fd_sync() {},
    fd_datasync() {},
    fd_seek(fd, offset, whence, ptr) {
      if (fd <= 2) return ERRNO.SPIPE;
      const d = descriptor(fd);
      if (d.node.kind !== 'file') return ERRNO.ISDIR;
      const base = whence === 0 ? 0 : whence === 1 ? d.position : d.node.size;
      const position = base + Number(offset);
      if (position < 0) return ERRNO.INVAL;
      d.position = position;
      view().setBigUint64(ptr, BigInt(position), true);
    },
    fd_tell(fd, ptr) {
      const d = descriptor(fd);
      view().setBigUint64(ptr, BigInt(d.position || 0), true);
    },
    fd_write(fd, iovs, count, writtenPtr) {
      let written = 0;
      if (fd === 1 || fd === 2) {
        let out = '';
        for (const { ptr, len } of iovecs(iovs, count)) {
          out += decoders[fd].decode(bytes().subarray(ptr, ptr + len), { stream: true });
          written += len;
        }
        if (out) options.write(fd === 1 ? 'stdout' : 'stderr', out);
      } else {
        const d = descriptor(fd);
        if (d.node.kind !== 'file') return ERRNO.ISDIR;
        if (!d.writable) return ERRNO.BADF;
        if (d.append) d.position = d.node.size;
        for (const { ptr, len } of iovecs(iovs, count)) {
          grow(d.node, d.position + len);
          if (d.position > d.node.size) d.node.data.fill(0, d.node.size, d.position);
          d.node.data.set(bytes().subarray(ptr, ptr + len), d.position);
          d.position += len;
          d.node.size = Math.max(d.node.size, d.position);
          written += len;
        }
        d.node.mtime = Date.now();
        changed(d);
      }
      view().setUint32(writtenPtr, written, true);
    },
    fd_read(fd, iovs, count, readPtr) {
      let read = 0;
      if (fd > 2) {
        const d = descriptor(fd);
        if (d.node.kind !== 'file') return ERRNO.ISDIR;
        if (!d.readable) return ERRNO.BADF;
        for (const { ptr, len } of iovecs(iovs, count)) {
          const n = Math.max(0, Math.min(len, d.node.size - d.position));
          bytes().set(d.node.data.subarray(d.position, d.position + n), ptr);
          d.position += n;
          read += n;
          if (n < len) break;
        }
      } else if (fd !== 0) {
        return ERRNO.BADF;
      }
      view().setUint32(readPtr, read, true);
    },
    fd_pread(fd, iovs, count, offset, readPtr) {
      const d = descriptor(fd);
      const saved = d.position;
      d.position = Number(offset);
      try {
        return calls.fd_read(fd, iovs, count, readPtr);
      } finally {
        d.position = saved;
      }
    },
    path_open(dirfd, dirflags, pathPtr, pathLen, oflags, rightsBase, rightsInheriting, fdflags, fdPtr) {
      const d = descriptor(dirfd);
      const found = resolve(d, text(pathPtr, pathLen));
      let node = found.node;
      const writable = (rightsBase & RIGHT_FD_WRITE) !== 0n;
      if (node === undefined) {
        if (!(oflags & OFLAGS.CREAT)) return ERRNO.NOENT;
        if (!found.parent) return ERRNO.INVAL;
        node = file(new Uint8Array(0));
        found.parent.entries.set(found.name, node);
      } else if (oflags & OFLAGS.CREAT && oflags & OFLAGS.EXCL) {
        return ERRNO.EXIST;
      }
      if (oflags & OFLAGS.DIRECTORY && node.kind !== 'folder') return ERRNO.NOTDIR;
      if (node.kind === 'folder' && writable) return ERRNO.ISDIR;
      const opened = { node, root: d.root, path: found.path, position: 0, writable,
                       readable: (rightsBase & RIGHT_FD_READ) !== 0n,
                       append: (fdflags & FDFLAGS_APPEND) !== 0 };
      if (node.kind === 'file' && oflags & OFLAGS.TRUNC) {
        node.size = 0;
        node.mtime = Date.now();
        changed(opened);
      }
      const fd = nextFd++;
      fds.set(fd, opened);
      view().setUint32(fdPtr, fd, true);
      if (options.opened) options.opened(d.root.path, found.path);
    },
    path_filestat_get(dirfd, flags, pathPtr, pathLen, ptr) {
      const found = resolve(descriptor(dirfd), text(pathPtr, pathLen));
      if (found.node === undefined) return ERRNO.NOENT;
      writeStat(ptr, found.node);
    },
    path_create_directory(dirfd, pathPtr, pathLen) {
      const found = resolve(descriptor(dirfd), text(pathPtr, pathLen));
      if (found.node !== undefined) return ERRNO.EXIST;
      if (!found.parent) return ERRNO.INVAL;
      found.parent.entries.set(found.name, folder());
    },
    path_unlink_file(dirfd, pathPtr, pathLen) {
      const d = descriptor(dirfd);
      const found = resolve(d, text(pathPtr, pathLen));
      if (found.node === undefined) return ERRNO.NOENT;
      if (found.node.kind === 'folder') return ERRNO.ISDIR;
      found.parent.entries.delete(found.name);
      if (options.changed) options.changed(d.root.path, found.path, null);
    },
    path_remove_directory(dirfd, pathPtr, pathLen) {
      const found = resolve(descriptor(dirfd), text(pathPtr, pathLen));
      if (found.node === undefined) return ERRNO.NOENT;
      if (found.node.kind !== 'folder') return ERRNO.NOTDIR;
      if (found.node.entries.size > 0) return ERRNO.NOTEMPTY;
      found.parent.entries.delete(found.name);
    },
    path_rename(fromFd, fromPtr, fromLen, toFd, toPtr, toLen) {
      const fromDir = descriptor(fromFd), toDir = descriptor(toFd);
      const from = resolve(fromDir, text(fromPtr, fromLen));
      const to = resolve(toDir, text(toPtr, toLen));
      if (from.node === undefined) return ERRNO.NOENT;
      if (!to.parent) return ERRNO.INVAL;
      from.parent.entries.delete(from.name);
      to.parent.entries.set(to.name, from.node);
      if (options.changed && from.node.kind === 'file') {
        options.changed(fromDir.root.path, from.path, null);
        options.changed(toDir.root.path, to.path, from.node.data.subarray(0, from.node.size));
      }
    },
  };

  // A file fetched on first use: a promise while it is being fetched, else
  // nothing (the call goes on at once, so it never suspends needlessly).
  const later = options.later || {};
  function fetchLater(dirfd, pathPtr, pathLen) {
    const d = fds.get(dirfd);
    if (!d || !later[d.root.path]) return null;
    let found;
    try {
      found = resolve(d, text(pathPtr, pathLen));
    } catch (error) {
      return null;
    }
    const fetcher = later[d.root.path][found.path];
    if (found.node !== undefined || !fetcher || found.parent !== d.root.node) return null;
    return fetcher().then((data) => {
      if (!d.root.node.entries.has(found.name)) d.root.node.entries.set(found.name, file(data));
    }, () => { /* not fetched: the call answers ENOENT */ });
  }
  const fetchingFirst = (call, pathArgument) => new WebAssembly.Suspending((...args) => {
    const fetching = fetchLater(args[0], args[pathArgument], args[pathArgument + 1]);
    if (fetching === null) return guarded(call)(...args);
    return fetching.then(() => guarded(call)(...args));
  });

  return {
    // The import object's wasi_snapshot_preview1 for `module`: every call it
    // imports, ENOSYS for those not above.
    imports(module) {
      const result = {};
      for (const { module: from, name } of WebAssembly.Module.imports(module)) {
        if (from !== 'wasi_snapshot_preview1') continue;
        if (name === 'path_open') result[name] = fetchingFirst(calls.path_open, 2);
        else if (name === 'path_filestat_get') result[name] = fetchingFirst(calls.path_filestat_get, 2);
        else result[name] = calls[name] ? guarded(calls[name]) : () => ERRNO.NOSYS;
      }
      return result;
    },
    setMemory(m) { memory = m; },
    // Puts a file into the folder `root` from outside (the page loaded it).
    setFile(root, name, data) {
      const folderOf = roots.find((r) => r.path === root);
      if (!folderOf) return;
      const node = folderOf.node.entries.get(name);
      if (node && node.kind === 'file') {
        node.data = data;
        node.size = data.length;
        node.mtime = Date.now();
      } else {
        folderOf.node.entries.set(name, file(data));
      }
    },
    // Whether a file of the folder `root` is open now.
    isOpen(root, path) {
      for (const d of fds.values()) if (!d.preopen && d.root.path === root && d.path === path) return true;
      return false;
    },
  };
}
