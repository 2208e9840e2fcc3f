// Writes a copy of the compiler's resource archive (llvm-resources.tar: clang's
// own headers, the WASI sysroot's headers and libraries) with only what
// compiling C++20 for wasm32-wasip1 and linking a program needs, for the page
// to download.
//
//   node trim-resources.mjs IN.tar OUT.tar
//
// Each kept entry's 512-byte header is copied unchanged, so the copy has the
// original's format (ustar, folder names without a trailing '/', no PAX
// headers), which is all the compiler's tar reader takes. A folder is kept only
// when something below it is. Prints the sizes.
import fs from 'node:fs';

// What is left out, by path inside the archive.
const dropped = [
  // libc++'s C++03 headers (the playground compiles C++20), its module sources
  // and module maps (no -fmodules), and the sysroot's shared objects.
  /^include\/c\+\+\/v1\/__cxx03(\/|$)/,
  /\.modulemap$/,
  /^share(\/|$)/,
  /\.so$/,
  /\.modules\.json$/,
  // Libraries the driver never links for a program (it asks for crt1-command.o,
  // libc++, libc++abi, libc, libclang_rt.builtins and what the link line names).
  /^lib\/wasm32-wasip1\/(crt1-reactor\.o|libc\+\+experimental\.a|libcrypt\.a|libdl\.a|libresolv\.a|librt\.a|libutil\.a|libxnet\.a|libpthread\.a|libwasi-emulated-mman\.a|libwasi-emulated-signal\.a|libc-printscan-[a-z-]+\.a)$/,
  /^lib\/wasm32-unknown-wasip1\/libclang_rt\.profile\.a$/,
  // clang's headers for other targets, offloading and its runtimes' interfaces.
  /^include\/(sanitizer|fuzzer|orc|profile|xray|hlsl|cuda_wrappers|openmp_wrappers|ppc_wrappers|llvm_libc_wrappers|llvm_offload_wrappers|zos_wrappers)(\/|$)/,
  /^include\/[^/]*(intrin|cuda|hip|opencl|altivec|hexagon|hvx|arm|aarch64|riscv|sifive|andes|amdgpu|nvptx|spirv|vecintrin|lsx|lasx|msa|s390|htm|ppc|hlsl|mma|mm3dnow|mm_malloc|cpuid|cet|amx|avx|sse|x86|ia32|velintrin|gpuintrin|openmp|omp|__wmmintrin|cmpccxadd|keylocker|prfchw|rdpru|rdseed|sha512|sm3|sm4|tsx|usermsr|wbnoinvd|wait|movrs|raointrin|serializeintrin|enqcmd|hresetintrin|uintr|pconfig|sgx|ptwrite|clflush|clwb|clzero|crc32|fxsr|invpcid|lwp|movdir|mwaitx|pku|popcnt|rtm|xsave|xtest|gfni|vaes|vpclmul|bmi|tbm|lzcnt|fma|f16c|adc|adx|shaintrin|pmmintrin|smmintrin|tmmintrin|nmmintrin|wmmintrin|xmmintrin|emmintrin|immintrin|ammintrin|mmintrin|pmm)[^/]*$/i,
];

export function trimResources(input, output) {
  const data = fs.readFileSync(input);
  const entries = [];
  let offset = 0;
  while (offset + 512 <= data.length) {
    const header = data.subarray(offset, offset + 512);
    if (header.every((byte) => byte === 0)) break;
    const name = header.toString('latin1', 0, 100).replace(/\0.*$/s, '');
    const size = Number.parseInt(header.toString('latin1', 124, 136).replace(/\0.*$/s, '').trim() || '0', 8);
    const type = String.fromCharCode(header[156] || 48);
    const blocks = 512 + Math.ceil(size / 512) * 512;
    if (header.toString('latin1', 257, 262) !== 'ustar' || type === 'x' || type === 'g') {
      throw new Error(`${input}: entry ${name} is not a plain ustar entry`);
    }
    entries.push({ name, folder: type === '5', bytes: data.subarray(offset, offset + blocks), size });
    offset += blocks;
  }
  const keptFiles = entries.filter((e) => !e.folder && !dropped.some((rule) => rule.test(e.name)));
  const needed = new Set();
  for (const file of keptFiles) {
    const parts = file.name.split('/');
    for (let i = 1; i < parts.length; ++i) needed.add(parts.slice(0, i).join('/'));
  }
  const kept = entries.filter((e) => (e.folder ? needed.has(e.name) : keptFiles.includes(e)));
  const out = Buffer.concat([...kept.map((e) => e.bytes), Buffer.alloc(1024)]);
  fs.writeFileSync(output, out);
  return { entries: entries.length, kept: kept.length, inBytes: data.length, outBytes: out.length };
}

if (process.argv[1] && import.meta.url.endsWith(process.argv[1].split('/').pop())) {
  const [input, output] = process.argv.slice(2);
  if (!output) {
    console.error('usage: trim-resources.mjs IN.tar OUT.tar');
    process.exit(2);
  }
  const r = trimResources(input, output);
  console.log(`trim-resources: ${r.kept} of ${r.entries} entries, ${r.inBytes} -> ${r.outBytes} bytes`);
}
