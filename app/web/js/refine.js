/*
 * Optional online refinement of table points with the address search of
 * Japan's Geospatial Information Authority (GSI), which needs no key.
 *
 * The page never talks to the service itself: it asks the program that
 * serves it (address-search?q=… beside this page, same origin), which asks
 * the service and keeps every answer on disk. So an answer found once is
 * found again at the next start, whatever port the page is served on, and
 * the service's cross-origin headers do not matter.
 *
 * Only addresses that the table placed no better than their municipality are
 * asked. The table's point is always drawn first; a refined point only moves
 * the mark later. Answers are also kept for the page's life, so a second
 * showing places the mark at once. Every failure is swallowed: without
 * network the table's point simply stands.
 *
 * Classic script (global TessoloRefine) and node module alike; fetch is
 * passed in so that tests can stand in for it.
 */
(function (root, factory) {
  'use strict';
  if (typeof module === 'object' && module.exports) module.exports = factory(require('./address.js'));
  else root.TessoloRefine = factory(root.TessoloText);
})(typeof self !== 'undefined' ? self : this, function (text) {
  'use strict';

  const ENDPOINT = 'address-search?q=';

  // Town level is as good as the table gets; a mark standing on its
  // municipality's or prefecture's point is always worth a question, one on
  // its town's point only when the user asked for street-level positions
  // (the whole address then leaves the machine, once).
  function needsRefinement(level, street) {
    return level === 'city' || level === 'pref' || (!!street && level === 'town');
  }

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

  function refinerState(options) {
    return {
      fetchFn: options.fetch,
      street: typeof options.street === 'function' ? options.street : () => !!options.street,
      onResult: options.onResult || function () {},
      concurrency: options.concurrency || 2,
      // The program may be waiting on the service for several questions
      // ahead of this one.
      timeoutMs: options.timeoutMs || 30000,
      maxQueue: options.maxQueue || 3000,
      // After a network failure, leave the service alone for a while
      // instead of failing once per customer.
      pauseMs: options.pauseMs == null ? 60000 : options.pauseMs,
      now: options.now || (() => Date.now()),
      queue: [],
      queued: new Map(), // key → {query, expect}
      answers: new Map(), // key → {lat, lng, title}, for the page's life
      inFlight: 0,
      pausedUntil: 0
    };
  }

  function dropQueued(st) {
    for (const k of st.queue) st.queued.delete(k);
    st.queue.length = 0;
  }

  // One question to the service; the answer, if it is one, is kept and
  // handed on.
  async function ask(st, key, job) {
    let timer = null;
    try {
      const ctrl = typeof AbortController === 'function' ? new AbortController() : null;
      if (ctrl) timer = setTimeout(() => ctrl.abort(), st.timeoutMs);
      let resp;
      try {
        resp = await st.fetchFn(ENDPOINT + encodeURIComponent(job.query), ctrl ? { signal: ctrl.signal } : undefined);
      } catch {
        // No network (or no answer in time): stop asking for now; what is
        // queued keeps its table point.
        st.pausedUntil = st.now() + st.pauseMs;
        dropQueued(st);
        return;
      }
      if (!resp || !resp.ok) return;
      const answer = pickAnswer(await resp.json(), job.expect);
      if (!answer) return;
      st.answers.set(key, { lat: answer.lat, lng: answer.lng, title: answer.title });
      st.onResult(key, answer);
    } catch {
      // malformed answer or a failing onResult: the table point stands
    } finally {
      if (timer) clearTimeout(timer);
    }
  }

  function createRefiner(options) {
    const st = refinerState(options);

    function cached(key) {
      return (key && st.answers.get(key)) || null;
    }

    // expect: {pref, city, level}: the prefecture and municipality the table
    // found, and the level it placed the address at.
    function request(key, query, expect) {
      if (!st.fetchFn || !key || !query || !expect || !expect.pref) return false;
      if (expect.level && !needsRefinement(expect.level, st.street())) return false;
      if (st.answers.has(key)) return false;
      if (st.now() < st.pausedUntil) return false;
      if (st.queued.has(key) || st.queue.length >= st.maxQueue) return false;
      st.queued.set(key, { query, expect });
      st.queue.push(key);
      pump();
      return true;
    }

    function pump() {
      while (st.inFlight < st.concurrency && st.queue.length) {
        const key = st.queue.shift();
        const job = st.queued.get(key);
        st.inFlight++;
        const done = () => { st.inFlight--; st.queued.delete(key); pump(); };
        ask(st, key, job).then(done, done);
      }
    }

    return {
      cached,
      request,
      clear: () => dropQueued(st),
      pending: () => st.queue.length + st.inFlight
    };
  }

  return { createRefiner, pickAnswer, needsRefinement, ENDPOINT };
});
