/*
 * Colours of the marks by one of the customers' fields (グループ, 会社名,
 * 都道府県 …): which value gets which look, kept from one start to the next.
 *
 * Looks: the eight colours of Okabe and Ito's palette, told apart with the
 * common kinds of colour blindness; from the ninth value on the colours come
 * again with a letter on the mark (A, B, …), so no two values share a look.
 * Values past the last look are その他, grey. An empty field is （空欄）, a
 * pale grey of its own, and takes no look from the values.
 *
 * A value keeps its look as long as it is stored (the page's storage
 * outlives the program): new values take the looks no value present holds,
 * the most frequent first, preferring looks never given before.
 *
 * Pure: storage comes in as {getItem, setItem}. Loaded as a classic script
 * (global TessoloColors) and with require() by node's tests.
 */
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.TessoloColors = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const PALETTE = ['#E69F00', '#56B4E9', '#009E73', '#F0E442', '#0072B2', '#D55E00', '#CC79A7', '#000000'];
  const LETTERS = ['', 'A', 'B', 'C'];
  const SLOTS = PALETTE.length * LETTERS.length;
  const OTHER = 'その他';
  const EMPTY = '（空欄）';
  const OTHER_LOOK = { color: '#9E9E9E', letter: '', other: true };
  const EMPTY_LOOK = { color: '#D9D9D9', letter: '', empty: true };
  const STORE_KEY = 'tessolo.colours.';

  // The look of slot s: colour s % 8, letter by the round.
  function lookOf(slot) {
    return { color: PALETTE[slot % PALETTE.length], letter: LETTERS[Math.floor(slot / PALETTE.length)], slot };
  }

  // Text that reads well on a look's colour.
  function inkOn(color) {
    const v = parseInt(color.slice(1), 16);
    const lum = 0.299 * (v >> 16) + 0.587 * ((v >> 8) & 255) + 0.114 * (v & 255);
    return lum > 150 ? '#000000' : '#FFFFFF';
  }

  function load(storage, field) {
    try {
      const raw = storage && storage.getItem(STORE_KEY + field);
      const o = raw ? JSON.parse(raw) : null;
      return o && typeof o === 'object' ? o : {};
    } catch {
      return {};
    }
  }

  function save(storage, field, table) {
    try {
      if (storage) storage.setItem(STORE_KEY + field, JSON.stringify(table));
    } catch {
      // storage refused: the looks hold for this start only
    }
  }

  /*
   * Looks for the values of one field. `counts`: Map value → number of
   * customers (the empty value as ''). Answers
   *   { lookOf(value), entries: [{value, label, count, look}] }
   * with the entries most frequent first, その他 last.
   */
  function assign(field, counts, storage) {
    const stored = load(storage, field); // value → slot
    const present = [...counts.keys()].filter((v) => v !== '');
    const held = new Set();
    const slotOf = new Map();
    for (const v of present) {
      const s = stored[v];
      if (Number.isInteger(s) && s >= 0 && s < SLOTS && !held.has(s)) {
        slotOf.set(v, s);
        held.add(s);
      }
    }
    const everGiven = new Set(Object.values(stored));
    const free = [];
    for (let s = 0; s < SLOTS; s++) if (!held.has(s) && !everGiven.has(s)) free.push(s);
    for (let s = 0; s < SLOTS; s++) if (!held.has(s) && everGiven.has(s)) free.push(s);
    // Ties in count go by the value, so the same data gives the same looks.
    const byCount = (a, b) => counts.get(b) - counts.get(a) || (a < b ? -1 : a > b ? 1 : 0);
    const newcomers = present.filter((v) => !slotOf.has(v)).sort(byCount);
    for (const v of newcomers) {
      if (!free.length) break;
      const s = free.shift();
      slotOf.set(v, s);
      // A slot given anew belongs to this value from now on.
      for (const k of Object.keys(stored)) if (stored[k] === s) delete stored[k];
      stored[v] = s;
    }
    save(storage, field, stored);

    const entries = [];
    let otherCount = 0;
    for (const v of present.sort(byCount)) {
      if (slotOf.has(v)) entries.push({ value: v, label: v, count: counts.get(v), look: lookOf(slotOf.get(v)) });
      else otherCount += counts.get(v);
    }
    if (counts.get('')) entries.push({ value: '', label: EMPTY, count: counts.get(''), look: EMPTY_LOOK });
    if (otherCount) entries.push({ value: OTHER_VALUE, label: OTHER, count: otherCount, look: OTHER_LOOK });
    const looks = new Map(entries.map((e) => [e.value, e.look]));
    return {
      entries,
      // The entry a value is shown under: itself, （空欄） or その他.
      entryValue: (v) => (v === '' ? '' : slotOf.has(v) ? v : OTHER_VALUE),
      lookOf: (v) => looks.get(v === '' ? '' : slotOf.has(v) ? v : OTHER_VALUE)
    };
  }

  // Stands for every value without a look of its own; no field holds it.
  const OTHER_VALUE = '\u0000other';

  return { PALETTE, SLOTS, OTHER, EMPTY, OTHER_VALUE, lookOf, inkOn, assign };
});
