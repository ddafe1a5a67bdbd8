// Loose romanised keys, used only when building the geocoding table, to meet
// the postal list's katakana readings (ﾌｸｵｶｼ) with GeoNames' Latin names
// (Fukuoka, Ōmuta, Hatchōbori). Neither side is romanised consistently (long
// vowels, ん before b/m/p, 清瀬 read ｷﾖｾ but written Kiyose, small kana
// written full size in older lists), so both sides are folded into a form
// where those differences vanish. The key is for comparing only; it is
// never shown.

const BASE = {
  ア: 'a', イ: 'i', ウ: 'u', エ: 'e', オ: 'o',
  カ: 'ka', キ: 'ki', ク: 'ku', ケ: 'ke', コ: 'ko',
  ガ: 'ga', ギ: 'gi', グ: 'gu', ゲ: 'ge', ゴ: 'go',
  サ: 'sa', シ: 'shi', ス: 'su', セ: 'se', ソ: 'so',
  ザ: 'za', ジ: 'ji', ズ: 'zu', ゼ: 'ze', ゾ: 'zo',
  タ: 'ta', チ: 'chi', ツ: 'tsu', テ: 'te', ト: 'to',
  ダ: 'da', ヂ: 'ji', ヅ: 'zu', デ: 'de', ド: 'do',
  ナ: 'na', ニ: 'ni', ヌ: 'nu', ネ: 'ne', ノ: 'no',
  ハ: 'ha', ヒ: 'hi', フ: 'fu', ヘ: 'he', ホ: 'ho',
  バ: 'ba', ビ: 'bi', ブ: 'bu', ベ: 'be', ボ: 'bo',
  パ: 'pa', ピ: 'pi', プ: 'pu', ペ: 'pe', ポ: 'po',
  マ: 'ma', ミ: 'mi', ム: 'mu', メ: 'me', モ: 'mo',
  ヤ: 'ya', ユ: 'yu', ヨ: 'yo',
  ラ: 'ra', リ: 'ri', ル: 'ru', レ: 're', ロ: 'ro',
  ワ: 'wa', ヰ: 'i', ヱ: 'e', ヲ: 'o', ン: 'n', ヴ: 'vu',
  ァ: 'a', ィ: 'i', ゥ: 'u', ェ: 'e', ォ: 'o',
  // Older lists write the small っ full size; treat both alike and let the
  // Latin side's doubled consonants become "tsu" as well.
  ッ: 'tsu', ー: ''
};

// Stems of the i-column kana when followed by ya/yu/yo.
const YOON_STEM = {
  キ: 'ky', ギ: 'gy', シ: 'sh', ジ: 'j', チ: 'ch', ヂ: 'j', ニ: 'ny',
  ヒ: 'hy', ビ: 'by', ピ: 'py', ミ: 'my', リ: 'ry'
};
const Y_VOWEL = { ャ: 'a', ュ: 'u', ョ: 'o', ヤ: 'a', ユ: 'u', ヨ: 'o' };

function fold(s) {
  // Long vowels and doubled vowels, which the Latin names write with or
  // without macrons and the readings spell out.
  let prev;
  do {
    prev = s;
    s = s.replace(/ou/g, 'o').replace(/oo/g, 'o').replace(/uu/g, 'u')
      .replace(/aa/g, 'a').replace(/ii/g, 'i').replace(/ee/g, 'e');
  } while (s !== prev);
  return s;
}

export function kanaKey(reading) {
  const s = String(reading).normalize('NFKC')
    // hiragana to katakana
    .replace(/[\u3041-\u3096]/g, (c) => String.fromCharCode(c.charCodeAt(0) + 0x60));
  let out = '';
  for (let i = 0; i < s.length; i++) {
    const c = s[i];
    const next = s[i + 1];
    if (YOON_STEM[c] && next && Y_VOWEL[next]) {
      out += YOON_STEM[c] + Y_VOWEL[next];
      i++;
      continue;
    }
    if (c in BASE) out += BASE[c];
    else if (/[0-9a-z]/i.test(c)) out += c.toLowerCase();
  }
  return fold(out);
}

export function latinKey(name) {
  let s = String(name).normalize('NFD').replace(/[\u0300-\u036f]/g, '').toLowerCase();
  s = s.replace(/[^a-z0-9]/g, '');
  s = s.replace(/m(?=[bmp])/g, 'n');
  s = s.replace(/tch/g, 'tsuch');
  s = s.replace(/([kstpgdbz])\1/g, 'tsu$1');
  // 清瀬 → ｷﾖｾ reads as the contracted "kyo", so fold Kiyose the same way.
  s = s.replace(/(sh|ch|j)iy([auo])/g, '$1$2');
  s = s.replace(/([knhmrgbp])iy([auo])/g, '$1y$2');
  return fold(s);
}

const SUFFIXES = ['shi', 'ku', 'machi', 'cho', 'mura', 'son', 'gun', 'ken', 'fu', 'to'];

// Keys of a reading with and without its administrative suffix (ｼ, ｸ, ﾏﾁ …),
// since GeoNames names a city "Fukuoka" and its district "Fukuoka-shi".
export function readingKeys(reading, suffixes = SUFFIXES) {
  const k = kanaKey(reading);
  const keys = new Set([k]);
  for (const suf of suffixes) {
    if (k.length > suf.length + 1 && k.endsWith(suf)) keys.add(k.slice(0, -suf.length));
  }
  return keys;
}

// Keys of a GeoNames name: as written, and without a separated suffix
// ("Chikushino-shi", "Minato City", "Yame-gun", "Kamikawa-gun (Tokachi)").
export function placeKeys(name) {
  const base = String(name).replace(/\s*\(.*?\)\s*/g, ' ').trim();
  const keys = new Set([latinKey(base)]);
  const m = /^(.*?)[\s-]+(shi|city|ku|ward|gun|machi|cho|chō|mura|son)$/i.exec(base);
  if (m) keys.add(latinKey(m[1]));
  return keys;
}
