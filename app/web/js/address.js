/*
 * Text rules of the map page: how an address is brought to one comparable
 * form, how the program's quoted arguments and "person::company" labels are
 * read, and how the area radius is parsed.
 *
 * Loaded as a classic script by tessolo.html (global TessoloText) and with
 * require() by the node build scripts and tests, so it must stay free of
 * browser-only or node-only features.
 */
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.TessoloText = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // Old or alternative kanji that people type for the same place. Both the
  // table's names and the typed address go through this, so folding a pair
  // can only make two spellings meet, never split one.
  const KANJI_VARIANTS = {
    '﨑': '崎', '嵜': '崎', '髙': '高', '檜': '桧', '舘': '館', '嶋': '島',
    '嶌': '島', '渕': '淵', '槇': '槙', '邊': '辺', '邉': '辺', '澤': '沢',
    '濱': '浜', '濵': '浜', '龍': '竜', '國': '国', '德': '徳', '冨': '富',
    '條': '条', '藏': '蔵', '萬': '万', '廣': '広', '惠': '恵', '眞': '真',
    '驒': '騨', '鰺': '鯵', '祗': '祇', '穗': '穂', '實': '実', '壽': '寿',
    '豐': '豊', '黑': '黒', '靜': '静', '縣': '県', '舩': '船', '籠': '篭',
    '曾': '曽', '晄': '晃', '藪': '薮', '櫻': '桜', '瀧': '滝', '峯': '峰',
    '嶽': '岳'
  };
  const VARIANT_RE = new RegExp('[' + Object.keys(KANJI_VARIANTS).join('') + ']', 'g');

  const KANJI = '\\u3400-\\u4DBF\\u4E00-\\u9FFF\\uF900-\\uFAFF々〆';
  // 霞ヶ関 / 霞ケ関 / 霞が関, 丸の内 / 丸ノ内, 一ツ橋 / 一ッ橋 / 一つ橋: the
  // small connecting kana between two kanji is spelt every which way.
  const KE_RE = new RegExp('(?<=[' + KANJI + '])[がヶヵケ](?=[' + KANJI + '])', 'g');
  const NO_RE = new RegExp('(?<=[' + KANJI + '])[のノ之](?=[' + KANJI + '])', 'g');
  const TSU_RE = new RegExp('(?<=[' + KANJI + '])[つッツ](?=[' + KANJI + '])', 'g');
  // A dash after a block number may arrive as a long vowel mark or any of
  // the dash look-alikes an input method offers.
  const LINK_CHARS_RE = /[がケのノ之つッツ]/;
  const DASH_RE = /(?<=\d)[‐‑‒–—―−ー－─━]/g;

  // Kanji and kana only, none that NFKC changes: the table's names, nearly
  // all. They skip the steps that cannot change them (tens of thousands of
  // names are keyed when a prefecture's towns are first used).
  const PLAIN_CHARS = '\\u3041-\\u3096\\u30A1-\\u30FA\\u30FC' + KANJI.replace('\\uF900-\\uFAFF', '');
  const PLAIN_RE = new RegExp('^[' + PLAIN_CHARS + ']*$');

  function normalizeAddress(text) {
    let s = String(text == null ? '' : text);
    const plain = PLAIN_RE.test(s);
    if (!plain) s = s.normalize('NFKC');
    s = s.replace(VARIANT_RE, (c) => KANJI_VARIANTS[c]);
    // Spaces and quote marks carry no place (the program's own quotes are
    // stripped before, but full-width ones survive that).
    if (!plain) s = s.replace(/[\s'"‘’“”]+/g, '');
    s = s.replace(/[ヶヵ]/g, 'ケ');
    if (LINK_CHARS_RE.test(s)) s = s.replace(KE_RE, 'ケ').replace(NO_RE, 'ノ').replace(TSU_RE, 'ツ');
    if (!plain) s = s.replace(DASH_RE, '-');
    return s;
  }

  // 1..99 as written in town names: 十二, 二十, 二十一.
  function kanjiNumber(n) {
    const d = ['', '一', '二', '三', '四', '五', '六', '七', '八', '九'];
    if (!(n >= 1 && n <= 99)) return String(n);
    const tens = Math.floor(n / 10);
    return (tens ? (tens > 1 ? d[tens] : '') + '十' : '') + d[n % 10];
  }

  function kanjiValue(s) {
    let v = 0;
    let cur = 0;
    for (const c of s) {
      if (c === '十') { v += (cur || 1) * 10; cur = 0; } else cur = '〇一二三四五六七八九'.indexOf(c);
    }
    return v + cur;
  }

  // Numbers that count blocks (丁目, Hokkaido's 条 and 線, 番, 号, Iwate's
  // 地割) are written in kanji by the registry and in digits by most people;
  // both sides are brought to digits. Elsewhere a kanji numeral is part of a
  // name (三田, 八王子) and stays.
  const KANJI_COUNT_RE = /[〇一二三四五六七八九十]+(?=丁|条|線|番|号|地割)/g;
  // 大字 (and the 字 of a sub-area after a town) is written or left out at
  // will, in the registry and in addresses alike.
  const AZA_RE = /大字|^字|(?<=[町村])字(?!$)/g;
  const KANA_KE_RE = new RegExp('が(?=[' + KANJI + '])', 'g');
  // 札幌 and 帯広 write their grid blocks short: 南1西3 for 南一条西三丁目.
  const GRID_RE = /^([東西南北])(\d+)([東西南北])(\d+)(?![\d条丁])/;

  // A plain name with none of these is its own key: most of the table's
  // names, keyed by the thousand when a prefecture's towns are first used.
  const TOUCHED_RE = new RegExp('[' + Object.keys(KANJI_VARIANTS).join('') + 'がヶヵケのノ之つッツ〇一二三四五六七八九十字]');

  // The form a town part of an address (what follows the municipality) is
  // compared in. Applied to the table's town names and to addresses alike.

  // normalized: text is (a part of) what normalizeAddress gave, which a
  // second pass would leave as it is.
  function townKey(text, normalized) {
    if (typeof text === 'string' && PLAIN_RE.test(text) && !TOUCHED_RE.test(text)) return text;
    let s = normalized ? text : normalizeAddress(text);
    s = s.replace(KANJI_COUNT_RE, (m) => String(kanjiValue(m)));
    s = s.replace(AZA_RE, '');
    s = s.replace(KANA_KE_RE, 'ケ');
    s = s.replace(GRID_RE, '$1$2条$3$4丁目');
    return s;
  }

  // The program wraps customer and typed addresses (and the typed search
  // label) in single quotes, as if building SQL; one enclosing pair is not
  // part of the text.
  function stripQuotes(text) {
    let s = String(text == null ? '' : text).trim();
    if (s.length >= 2 && s[0] === "'" && s[s.length - 1] === "'") s = s.slice(1, -1).trim();
    return s;
  }

  // "person::company" → 氏名（会社名）; either part may be empty. Only the
  // first "::" separates, so a company name containing "::" survives.
  function formatLabel(raw) {
    const s = stripQuotes(raw);
    const at = s.indexOf('::');
    if (at < 0) return s;
    const person = s.slice(0, at).trim();
    const company = s.slice(at + 2).trim();
    if (person && company) return person + '（' + company + '）';
    return person || company;
  }

  // Radius typed in the area field, in kilometres. The field is free text
  // and may be typed with the input method on (full-width digits). Anything
  // that is not a positive finite number yields null: no circle.
  function parseRadiusKm(text) {
    const s = String(text == null ? '' : text).normalize('NFKC').trim().replace(/\s*km$/i, '');
    if (!/^\+?(\d+(\.\d*)?|\.\d+)$/.test(s)) return null;
    const v = Number(s);
    if (!Number.isFinite(v) || v <= 0) return null;
    return v;
  }

  function escapeHtml(text) {
    return String(text).replace(/[&<>"']/g, (c) => ({
      '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;'
    })[c]);
  }

  // A customer's rowid as the program sends it (decimal text): a positive
  // whole number, else null (an older caller's call, or a search).
  function parseRowid(text) {
    if (text === undefined || text === null) return null;
    const t = String(text).trim();
    if (!/^[0-9]{1,16}$/.test(t)) return null;
    const n = Number(t);
    return n > 0 && Number.isSafeInteger(n) ? n : null;
  }

  // A customer's fields (a JSON object text): only texts are kept, and the
  // groups as an array of texts. Anything else reads as no fields.
  function parseFields(text) {
    const out = Object.create(null);
    if (typeof text !== 'string' || !text) return out;
    let o;
    try {
      o = JSON.parse(text);
    } catch {
      return out;
    }
    if (!o || typeof o !== 'object' || Array.isArray(o)) return out;
    for (const k of Object.keys(o)) {
      const v = o[k];
      if (k === 'g') {
        if (Array.isArray(v)) out.g = v.filter((x) => typeof x === 'string' && x);
      } else if (typeof v === 'string') {
        out[k] = v;
      }
    }
    return out;
  }

  return { normalizeAddress, townKey, kanjiNumber, kanjiValue, stripQuotes, formatLabel, parseRadiusKm, escapeHtml, parseRowid, parseFields };
});
