// MD5 of a text's UTF-8 bytes as 32 hex digits: the login sends the
// password's hash, never the password.
function md5(text) {
  const bytes = new TextEncoder().encode(text);
  const blocks = ((bytes.length + 8) >> 6) + 1;
  const m = new Uint32Array(blocks * 16);
  for (let i = 0; i < bytes.length; i++) m[i >> 2] |= bytes[i] << ((i % 4) * 8);
  m[bytes.length >> 2] |= 0x80 << ((bytes.length % 4) * 8);
  m[blocks * 16 - 2] = (bytes.length * 8) >>> 0;
  m[blocks * 16 - 1] = Math.floor(bytes.length / 0x20000000);

  const shift = [7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21];
  const k = [];
  for (let i = 0; i < 64; i++) k[i] = Math.floor(Math.abs(Math.sin(i + 1)) * 0x100000000) >>> 0;

  const h = [0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476];
  for (let at = 0; at < m.length; at += 16) {
    let [a, b, c, d] = h;
    for (let i = 0; i < 64; i++) {
      let f, g;
      if (i < 16) { f = (b & c) | (~b & d); g = i; }
      else if (i < 32) { f = (d & b) | (~d & c); g = (5 * i + 1) % 16; }
      else if (i < 48) { f = b ^ c ^ d; g = (3 * i + 5) % 16; }
      else { f = c ^ (b | ~d); g = (7 * i) % 16; }
      const s = shift[(i >> 4) * 4 + (i % 4)];
      const x = (a + f + k[i] + m[at + g]) >>> 0;
      a = d; d = c; c = b;
      b = (b + ((x << s) | (x >>> (32 - s)))) >>> 0;
    }
    h[0] = (h[0] + a) >>> 0; h[1] = (h[1] + b) >>> 0;
    h[2] = (h[2] + c) >>> 0; h[3] = (h[3] + d) >>> 0;
  }
  let hex = '';
  for (const w of h)
    for (let i = 0; i < 4; i++) hex += ((w >>> (8 * i)) & 255).toString(16).padStart(2, '0');
  return hex;
}
