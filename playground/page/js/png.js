// Reading PNG files as the package writes them (palette, 1 to 8 bits) and
// 8-bit grey or RGB(A), not interlaced, into {width, height, rgb} (3 bytes a
// pixel). The zlib stream is inflated by the caller: the page with the
// browser's DecompressionStream (decodePng), node's tests with zlib.
//
//   const { width, height, rgb } = await decodePng(bytes);
//   const picture = unfilterPng(info, inflate(info.data))  with info = parsePng(bytes)

const SIGNATURE = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
const MAX_PIXELS = 64 * 1024 * 1024;

// The header, the palette and the compressed image data; throws an Error that
// says what is wrong with a file that is not such a PNG.
export function parsePng(bytes) {
  const data = bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes);
  if (data.length < 8 || SIGNATURE.some((b, i) => data[i] !== b)) throw new Error('not a PNG file');
  const view = new DataView(data.buffer, data.byteOffset, data.byteLength);
  let offset = 8, header = null, palette = null;
  const parts = [];
  while (offset + 8 <= data.length) {
    const length = view.getUint32(offset);
    const kind = String.fromCharCode(...data.subarray(offset + 4, offset + 8));
    const body = data.subarray(offset + 8, Math.min(data.length, offset + 8 + length));
    if (kind === 'IHDR' && body.length === 13) {
      header = { width: view.getUint32(offset + 8), height: view.getUint32(offset + 12), depth: body[8],
                 type: body[9], interlace: body[12] };
    } else if (kind === 'PLTE') {
      palette = body;
    } else if (kind === 'IDAT') {
      parts.push(body);
    } else if (kind === 'IEND') {
      break;
    }
    offset += 12 + length;
  }
  if (!header) throw new Error('no PNG header');
  const { width, height, depth, type, interlace } = header;
  const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[type];
  if (channels === undefined || interlace !== 0 || width * height > MAX_PIXELS ||
      (depth !== 8 && !(type === 3 && [1, 2, 4].includes(depth))) || (type === 3 && !palette)) {
    throw new Error('a PNG kind this page does not read (palette, 8-bit grey, RGB or RGBA only)');
  }
  const data2 = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
  let at = 0;
  for (const part of parts) { data2.set(part, at); at += part.length; }
  return { width, height, depth, type, channels, palette, data: data2 };
}

// The pixels of a parsed PNG from its inflated image data.
export function unfilterPng({ width, height, depth, type, channels, palette }, raw) {
  const stride = Math.ceil((width * channels * depth) / 8);
  if (raw.length < (stride + 1) * height) throw new Error('PNG data too short');
  const rows = new Uint8Array(stride * height);
  const left = Math.max(1, (channels * depth) >> 3);  // bytes per pixel, for the filters
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = y * (stride + 1) + 1;
    for (let x = 0; x < stride; ++x) {
      const a = x >= left ? rows[y * stride + x - left] : 0;
      const b = y > 0 ? rows[(y - 1) * stride + x] : 0;
      const c = x >= left && y > 0 ? rows[(y - 1) * stride + x - left] : 0;
      let v = raw[line + x];
      if (filter === 1) v += a;
      else if (filter === 2) v += b;
      else if (filter === 3) v += (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      rows[y * stride + x] = v & 255;
    }
  }
  const rgb = new Uint8Array(width * height * 3);
  for (let i = 0; i < width * height; ++i) {
    if (type === 3) {
      const y = Math.floor(i / width), x = i % width, bit = x * depth;
      const index = (rows[y * stride + (bit >> 3)] >> (8 - depth - (bit & 7))) & ((1 << depth) - 1);
      // An index past the palette's end reads black, as a viewer shows it.
      if (index * 3 + 3 <= palette.length) rgb.set(palette.subarray(index * 3, index * 3 + 3), i * 3);
    } else if (type === 0 || type === 4) {
      rgb.fill(rows[i * channels], i * 3, i * 3 + 3);
    } else {
      rgb.set(rows.subarray(i * channels, i * channels + 3), i * 3);
    }
  }
  return { width, height, rgb };
}

// The pixels of a PNG file's bytes, inflated with the platform's
// DecompressionStream (the browser's, or node's from version 18).
export async function decodePng(bytes) {
  const info = parsePng(bytes);
  const stream = new Blob([info.data]).stream().pipeThrough(new DecompressionStream('deflate'));
  const raw = new Uint8Array(await new Response(stream).arrayBuffer());
  return unfilterPng(info, raw);
}
