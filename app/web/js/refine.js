/*
 * Optional online refinement of table points with the address search of
 * Japan's Geospatial Information Authority (GSI), which needs no key.
 *
 * The table's point is always drawn first; a refined point only moves the
 * mark later. Answers are kept in localStorage under the normalised address,
 * so the next showing (online or not) places the mark there at once. Every
 * failure is swallowed: without network the table's point simply stands.
 *
 * Classic script (global TessoloRefine) and node module alike; fetch and
 * storage are passed in so that tests can stand in for them.
 */
(function (root, factory) {
  'use strict';
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./address.js'));
  else root.TessoloRefine = factory(root.TessoloText);
})(typeof self !== 'undefined' ? self : this, function (text) {
  'use strict';

  const ENDPOINT = 'https://msearch.gsi.go.jp/address-search/AddressSearch?q=';
  const CACHE_PREFIX = 'tessolo.gsi.v1:';

  // The search answers with its best guesses, and a guess may lie anywhere in
  // Japan. Only an answer inside the prefecture the table found (and inside
  // its municipality, where the table found one) may move a mark.
  function pickAnswer(features, expect) {
    if (!Array.isArray(features)) return null;
    const pref = text.normalizeAddress(expect.pref || '');
    const city = text.normalizeAddress(expect.city || '');
    if (!pref) return null;
    for (const f of features) {
      const title = f && f.properties && typeof f.properties.title === 'string' ? f.properties.title : '';
      const c = f && f.geometry && Array.isArray(f.geometry.coordinates) ? f.geometry.coordinates : null;
      if (!title || !c) continue;
      const lng = Number(c[0]);
      const lat = Number(c[1]);
      if (!Number.isFinite(lat) || !Number.isFinite(lng)) continue;
      const t = text.normalizeAddress(title);
      if (!t.startsWith(pref)) continue;
      if (city && t.slice(pref.length).indexOf(city) < 0) continue;
      return { lat, lng, title };
    }
    return null;
  }

  function createRefiner(options) {
    const fetchFn = options.fetch;
    const storage = options.storage || null;
    const onResult = options.onResult || function () {};
    const concurrency = options.concurrency || 2;
    const timeoutMs = options.timeoutMs || 8000;
    const maxQueue = options.maxQueue || 3000;
    // After a network failure, leave the service alone for a while instead
    // of failing once per customer.
    const pauseMs = options.pauseMs == null ? 60000 : options.pauseMs;
    const now = options.now || (() => Date.now());

    const queue = [];
    const queued = new Map(); // key → {query, expect}
    let inFlight = 0;
    let pausedUntil = 0;

    function cached(key) {
      if (!storage || !key) return null;
      try {
        const raw = storage.getItem(CACHE_PREFIX + key);
        if (!raw) return null;
        const v = JSON.parse(raw);
        if (!Number.isFinite(v.lat) || !Number.isFinite(v.lng)) return null;
        return v;
      } catch (e) {
        return null;
      }
    }

    function store(key, answer) {
      if (!storage) return;
      try {
        storage.setItem(CACHE_PREFIX + key, JSON.stringify({ lat: answer.lat, lng: answer.lng, title: answer.title }));
      } catch (e) {
        // storage full or refused: the refinement still applies this time
      }
    }

    function request(key, query, expect) {
      if (!fetchFn || !key || !query || !expect || !expect.pref) return false;
      if (now() < pausedUntil) return false;
      if (queued.has(key) || queue.length >= maxQueue) return false;
      queued.set(key, { query, expect });
      queue.push(key);
      pump();
      return true;
    }

    function pump() {
      while (inFlight < concurrency && queue.length) {
        const key = queue.shift();
        const job = queued.get(key);
        inFlight++;
        run(key, job).then(
          () => { inFlight--; queued.delete(key); pump(); },
          () => { inFlight--; queued.delete(key); pump(); }
        );
      }
    }

    async function run(key, job) {
      let timer = null;
      try {
        const ctrl = typeof AbortController === 'function' ? new AbortController() : null;
        if (ctrl) timer = setTimeout(() => ctrl.abort(), timeoutMs);
        let resp;
        try {
          resp = await fetchFn(ENDPOINT + encodeURIComponent(job.query), ctrl ? { signal: ctrl.signal } : undefined);
        } catch (e) {
          // No network (or no answer in time): stop asking for now; what is
          // queued keeps its table point.
          pausedUntil = now() + pauseMs;
          for (const k of queue) queued.delete(k);
          queue.length = 0;
          return;
        }
        if (!resp || !resp.ok) return;
        const answer = pickAnswer(await resp.json(), job.expect);
        if (!answer) return;
        store(key, answer);
        onResult(key, answer);
      } catch (e) {
        // malformed answer or a failing onResult: the table point stands
      } finally {
        if (timer) clearTimeout(timer);
      }
    }

    function clear() {
      for (const k of queue) queued.delete(k);
      queue.length = 0;
    }

    return {
      cached,
      request,
      clear,
      pending: () => queue.length + inFlight
    };
  }

  return { createRefiner, pickAnswer, ENDPOINT, CACHE_PREFIX };
});
