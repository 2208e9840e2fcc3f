// A small WASI preview1 for the playground's programs: arguments, clocks,
// random numbers, standard output and error, and files in memory. Two folders
// are given to the program: "/" (its current folder: the files it reads and
// writes) and "/fonts" (the faces the package reads). What it does not know
// answers ENOSYS.
//
// A file may be given without its bytes, with a function that loads them: it is
// loaded when the program first opens it (the call suspends the program through
// WebAssembly.Suspending meanwhile), so a run pays only for the files it opens.
// A folder may have a capacity: a write that would take its files past it
// answers ENOSPC, as a full disk does.

const ERRNO = { SUCCESS: 0, ACCES: 2, BADF: 8, EXIST: 20, INVAL: 28, ISDIR: 31, NOENT: 44,
                NOSPC: 51, NOSYS: 52, NOTDIR: 54, NOTEMPTY: 55, SPIPE: 70, NOTCAPABLE: 76, XDEV: 75 };
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
function file(bytes, mtime = Date.now()) { return { kind: 'file', data: bytes, size: bytes.length, mtime }; }
// A file whose bytes are loaded on first use; its size may be unknown until then.
function lazyFile(entry) {
  return { kind: 'file', data: null, size: entry.size, mtime: entry.mtime || Date.now(), load: entry.load };
}

// options: { args: [...],
//            folders: { '/': {name: entry}, '/fonts': {...} }, where an entry is
//              a Uint8Array or {size (optional), mtime (optional), load: () =>
//              Promise<Uint8Array>} (loaded when first opened; a failed load
//              answers ENOENT); a name ending in "/" is an empty folder,
//            capacity: { '/': bytes } the most a folder's files may hold,
//            write(stream, text), changed(root, name, bytes) (a file of a folder
//            was written or removed: bytes null), opened(root, name),
//            closed(root, name) }
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
    const capacity = (options.capacity && options.capacity[path]) || Infinity;
    let used = 0;
    for (const [name, data] of Object.entries(files)) {
      // A name with folders ("records/a.txt", as the program wrote it): made as folders.
      const parts = name.split('/').filter((part) => part !== '' && part !== '.' && part !== '..');
      // A name that ends in "/" ("tmp/") is an empty folder.
      const folders = name.endsWith('/') ? parts : parts.slice(0, -1);
      let at = node;
      for (const part of folders) {
        if (!at.entries.has(part) || at.entries.get(part).kind !== 'folder') at.entries.set(part, folder());
        at = at.entries.get(part);
      }
      if (parts.length === 0 || name.endsWith('/')) continue;
      const entry = data instanceof Uint8Array ? file(data) : lazyFile(data);
      at.entries.set(parts[parts.length - 1], entry);
      used += entry.size || 0;
    }
    roots.push({ path, node, capacity, used });
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
  // An empty path names nothing (as POSIX has it); "." names the folder itself.
  function resolve(d, path) {
    if (d.node.kind !== 'folder') throw new WasiError(ERRNO.NOTDIR);
    if (path === '') throw new WasiError(ERRNO.NOENT);
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

  // A file's new size, within its folder's capacity (else ENOSPC).
  function resize(root, node, size) {
    if (size > node.size && root.used - node.size + size > root.capacity) throw new WasiError(ERRNO.NOSPC);
    if (size > node.data.length) {
      const data = new Uint8Array(Math.max(size, Math.min(node.data.length * 2, root.capacity), 256));
      data.set(node.data.subarray(0, node.size));
      node.data = data;
    }
    if (size > node.size) node.data.fill(0, node.size, size);
    root.used += size - node.size;
    node.size = size;
  }
  // The bytes a folder's files hold below `node` (for a removal).
  function sizeOf(node) {
    if (node.kind === 'file') return node.size || 0;
    let total = 0;
    for (const child of node.entries.values()) total += sizeOf(child);
    return total;
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
      resize(d.root, d.node, Number(size));
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
        try {
          for (const { ptr, len } of iovecs(iovs, count)) {
            if (d.position + len > d.node.size) resize(d.root, d.node, d.position + len);
            d.node.data.set(bytes().subarray(ptr, ptr + len), d.position);
            d.position += len;
            written += len;
          }
        } finally {
          if (written > 0) {
            d.node.mtime = Date.now();
            changed(d);
          }
        }
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
      if (node.kind === 'file' && node.data === null) return ERRNO.NOENT;  // its load failed
      if (oflags & OFLAGS.DIRECTORY && node.kind !== 'folder') return ERRNO.NOTDIR;
      // A folder opens only as a folder (opendir asks with O_DIRECTORY): fopen
      // of one fails, as on Windows; the C library turns fopen("") into ".".
      if (node.kind === 'folder' && (writable || !(oflags & OFLAGS.DIRECTORY))) return ERRNO.ISDIR;
      const opened = { node, root: d.root, path: found.path, position: 0, writable,
                       readable: (rightsBase & RIGHT_FD_READ) !== 0n,
                       append: (fdflags & FDFLAGS_APPEND) !== 0 };
      if (node.kind === 'file' && oflags & OFLAGS.TRUNC && writable) {
        resize(d.root, node, 0);
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
      d.root.used -= found.node.size || 0;
      if (options.changed) options.changed(d.root.path, found.path, null);
    },
    path_remove_directory(dirfd, pathPtr, pathLen) {
      const found = resolve(descriptor(dirfd), text(pathPtr, pathLen));
      if (found.node === undefined) return ERRNO.NOENT;
      if (found.node.kind !== 'folder') return ERRNO.NOTDIR;
      if (!found.parent) return ERRNO.INVAL;  // the preopened folder itself
      if (found.node.entries.size > 0) return ERRNO.NOTEMPTY;
      found.parent.entries.delete(found.name);
    },
    path_rename(fromFd, fromPtr, fromLen, toFd, toPtr, toLen) {
      const fromDir = descriptor(fromFd), toDir = descriptor(toFd);
      const from = resolve(fromDir, text(fromPtr, fromLen));
      const to = resolve(toDir, text(toPtr, toLen));
      if (from.node === undefined) return ERRNO.NOENT;
      if (!from.parent || !to.parent) return ERRNO.INVAL;  // a preopened folder itself
      if (fromDir.root !== toDir.root) return ERRNO.XDEV;
      if (from.path === to.path) return ERRNO.SUCCESS;
      // A folder cannot move into itself (it would leave the tree).
      if (from.node.kind === 'folder' && to.path.startsWith(`${from.path}/`)) return ERRNO.INVAL;
      if (to.node !== undefined) {
        if (from.node.kind === 'folder' && to.node.kind !== 'folder') return ERRNO.NOTDIR;
        if (from.node.kind !== 'folder' && to.node.kind === 'folder') return ERRNO.ISDIR;
        if (to.node.kind === 'folder' && to.node.entries.size > 0) return ERRNO.NOTEMPTY;
        toDir.root.used -= sizeOf(to.node);
        if (options.changed && to.node.kind === 'file') options.changed(toDir.root.path, to.path, null);
      }
      from.parent.entries.delete(from.name);
      to.parent.entries.set(to.name, from.node);
      if (options.changed && from.node.kind === 'file') {
        options.changed(fromDir.root.path, from.path, null);
        options.changed(toDir.root.path, to.path, from.node.data.subarray(0, from.node.size));
      }
    },
  };

  // A file loaded on first use: the promise of its load, or null when the
  // call needs none (so it never suspends needlessly). `paths` are the
  // positions of the call's folder descriptors and of their paths (pointer,
  // then length).
  function loadFirst(args, paths, needsSize) {
    const loads = [];
    for (const [fdAt, pathAt] of paths) {
      const d = fds.get(args[fdAt]);
      if (!d) continue;
      let found;
      try {
        found = resolve(d, text(args[pathAt], args[pathAt + 1]));
      } catch (error) {
        continue;
      }
      const node = found.node;
      if (!node || node.kind !== 'file' || node.data !== null || !node.load) continue;
      if (needsSize && node.size !== undefined) continue;
      loads.push(load(d.root, node));
    }
    return loads.length ? Promise.all(loads) : null;
  }
  function load(root, node) {
    node.loading ??= Promise.resolve().then(() => node.load()).then((data) => {
      if (node.data !== null) return;  // written meanwhile
      root.used += data.length - (node.size || 0);
      node.data = data;
      node.size = data.length;
    }, () => { node.load = null; });  // not loaded: opening it answers ENOENT
    return node.loading;
  }
  const loadingFirst = (call, paths, needsSize = false) => new WebAssembly.Suspending((...args) => {
    const loading = loadFirst(args, paths, needsSize);
    if (loading === null) return guarded(call)(...args);
    return loading.then(() => guarded(call)(...args));
  });
  const suspending = {
    path_open: () => loadingFirst(calls.path_open, [[0, 2]]),
    path_filestat_get: () => loadingFirst(calls.path_filestat_get, [[0, 2]], true),
    path_rename: () => loadingFirst(calls.path_rename, [[0, 1], [3, 4]]),
  };

  return {
    // The import object's wasi_snapshot_preview1 for `module`: every call it
    // imports, ENOSYS for those not above.
    imports(module) {
      const result = {};
      for (const { module: from, name } of WebAssembly.Module.imports(module)) {
        if (from !== 'wasi_snapshot_preview1') continue;
        if (suspending[name]) result[name] = suspending[name]();
        else result[name] = calls[name] ? guarded(calls[name]) : () => ERRNO.NOSYS;
      }
      return result;
    },
    setMemory(m) { memory = m; },
    // Puts a file into the folder `root` from outside (the page loaded it),
    // or removes it (data null). Open descriptors see the new bytes.
    setFile(root, name, data) {
      const folderOf = roots.find((r) => r.path === root);
      if (!folderOf) return;
      const node = folderOf.node.entries.get(name);
      if (node && node.kind !== 'file') return;
      if (node) folderOf.used -= node.size || 0;
      if (data === null) {
        folderOf.node.entries.delete(name);
      } else if (node) {
        Object.assign(node, { data, size: data.length, mtime: Date.now(), load: null });
        folderOf.used += data.length;
      } else {
        folderOf.node.entries.set(name, file(data));
        folderOf.used += data.length;
      }
    },
    // Whether a file of the folder `root` is open now.
    isOpen(root, path) {
      for (const d of fds.values()) if (!d.preopen && d.root.path === root && d.path === path) return true;
      return false;
    },
  };
}
