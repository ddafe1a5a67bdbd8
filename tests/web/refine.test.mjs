import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const { createRefiner, pickAnswer, needsRefinement, ENDPOINT } = require('../../app/web/js/refine.js');

const feature = (title, lng, lat) => ({ type: 'Feature', geometry: { type: 'Point', coordinates: [lng, lat] }, properties: { title } });
const settle = async () => { for (let i = 0; i < 10; i++) await new Promise((r) => setImmediate(r)); };

function answering(features) {
  const calls = [];
  const fn = async (url) => {
    calls.push(url);
    return { ok: true, json: async () => features };
  };
  fn.calls = calls;
  return fn;
}

test('pickAnswer takes the first answer inside the expected prefecture and municipality', () => {
  const features = [
    feature('大阪府大阪市中央区丸の内', 135.5, 34.68), // a namesake elsewhere
    feature('東京都港区丸の内', 139.75, 35.66), // right prefecture, wrong municipality
    feature('東京都千代田区丸の内一丁目', 139.766, 35.681)
  ];
  assert.deepEqual(pickAnswer(features, { pref: '東京都', city: '千代田区' }),
    { lat: 35.681, lng: 139.766, title: '東京都千代田区丸の内一丁目' });
  // the table only knew the prefecture: any answer inside it will do
  assert.equal(pickAnswer(features, { pref: '東京都', city: '' }).title, '東京都港区丸の内');
  assert.equal(pickAnswer(features, { pref: '北海道', city: '' }), null);
  // a ward of a designated city counts as inside its city
  assert.ok(pickAnswer([feature('神奈川県横浜市西区高島', 139.62, 35.46)], { pref: '神奈川県', city: '横浜市' }));
});

test('pickAnswer ignores malformed answers', () => {
  const expect = { pref: '東京都', city: '' };
  assert.equal(pickAnswer(null, expect), null);
  assert.equal(pickAnswer({ error: 'x' }, expect), null);
  assert.equal(pickAnswer([{}, { properties: { title: '東京都' } }, feature('東京都港区', 'x', 35)], expect), null);
  assert.equal(pickAnswer([feature('東京都港区', 139.7, 35.6)], { pref: '' }), null);
});

test('a refined point is asked once, of the program beside the page, and then kept for the page', async () => {
  const fetch = answering([feature('東京都千代田区丸の内一丁目', 139.766, 35.681)]);
  const results = [];
  const r = createRefiner({ fetch, onResult: (k, a) => results.push([k, a.lat, a.lng]) });

  assert.equal(r.cached('東京都千代田区丸ノ内1丁目'), null);
  assert.equal(r.request('東京都千代田区丸ノ内1丁目', '東京都千代田区丸の内一丁目', { pref: '東京都', city: '千代田区', level: 'city' }), true);
  assert.equal(r.request('東京都千代田区丸ノ内1丁目', '東京都千代田区丸の内一丁目', { pref: '東京都', city: '千代田区', level: 'city' }), false);
  await settle();

  // a relative address: the page's own server, never the service itself
  assert.equal(ENDPOINT, 'address-search?q=');
  assert.deepEqual(fetch.calls, [ENDPOINT + encodeURIComponent('東京都千代田区丸の内一丁目')]);
  assert.deepEqual(results, [['東京都千代田区丸ノ内1丁目', 35.681, 139.766]]);
  assert.deepEqual(r.cached('東京都千代田区丸ノ内1丁目'), { lat: 35.681, lng: 139.766, title: '東京都千代田区丸の内一丁目' });
  // known now: not asked again
  assert.equal(r.request('東京都千代田区丸ノ内1丁目', '東京都千代田区丸の内一丁目', { pref: '東京都', city: '千代田区', level: 'city' }), false);
  assert.equal(fetch.calls.length, 1);
  assert.equal(r.pending(), 0);
});

test('only what the table placed no better than its municipality is asked', async () => {
  assert.equal(needsRefinement('city'), true);
  assert.equal(needsRefinement('pref'), true);
  assert.equal(needsRefinement('town'), false);
  assert.equal(needsRefinement('refined'), false);
  const fetch = answering([feature('東京都府中市宮町一丁目', 139.48, 35.67)]);
  const r = createRefiner({ fetch });
  assert.equal(r.request('t', '東京都府中市宮町1-50', { pref: '東京都', city: '府中市', level: 'town' }), false);
  assert.equal(r.request('c', '東京都府中市どこか', { pref: '東京都', city: '府中市', level: 'city' }), true);
  assert.equal(r.request('p', '東京都どこか', { pref: '東京都', city: '', level: 'pref' }), true);
  await settle();
  assert.deepEqual(fetch.calls.map((u) => decodeURIComponent(u.slice(ENDPOINT.length))), ['東京都府中市どこか', '東京都どこか']);
});

test('an answer outside the prefecture is neither stored nor reported', async () => {
  const fetch = answering([feature('大阪府大阪市北区梅田', 135.49, 34.70)]);
  const results = [];
  const r = createRefiner({ fetch, onResult: (k) => results.push(k) });
  r.request('k', '梅田', { pref: '東京都', city: '' });
  await settle();
  assert.equal(fetch.calls.length, 1);
  assert.deepEqual(results, []);
  assert.equal(r.cached('k'), null);
});

test('without network the refiner stops asking for a while and throws nothing', async () => {
  let now = 1000;
  let calls = 0;
  const fetch = async () => { calls++; throw new TypeError('Failed to fetch'); };
  const results = [];
  const r = createRefiner({ fetch, now: () => now, pauseMs: 60000, concurrency: 1, onResult: () => results.push(1) });
  r.request('a', 'a', { pref: '東京都' });
  r.request('b', 'b', { pref: '東京都' });
  r.request('c', 'c', { pref: '東京都' });
  await settle();
  assert.equal(calls, 1, 'the queue behind a network failure is dropped');
  assert.equal(r.pending(), 0);
  assert.equal(r.request('d', 'd', { pref: '東京都' }), false);
  now += 60001;
  assert.equal(r.request('d', 'd', { pref: '東京都' }), true);
  await settle();
  assert.equal(calls, 2);
  assert.deepEqual(results, []);
});

test('a failing HTTP answer or bad JSON leave the table point standing', async () => {
  const results = [];
  const onResult = (k) => results.push(k);
  const notOk = createRefiner({ fetch: async () => ({ ok: false, json: async () => [] }), onResult });
  notOk.request('a', 'a', { pref: '東京都' });
  const badJson = createRefiner({ fetch: async () => ({ ok: true, json: async () => { throw new SyntaxError('x'); } }), onResult });
  badJson.request('b', 'b', { pref: '東京都' });
  await settle();
  assert.deepEqual(results, []);

  // a throwing onResult does not escape
  const t = createRefiner({ fetch: answering([feature('東京都港区芝公園', 139.75, 35.66)]), onResult: () => { throw new Error('boom'); } });
  t.request('d', 'd', { pref: '東京都' });
  await settle();
  assert.equal(t.pending(), 0);
});

test('no more requests run at once than allowed, and clear() drops the waiting ones', async () => {
  const releases = [];
  let running = 0;
  let most = 0;
  const fetch = () => new Promise((resolve) => {
    running++;
    most = Math.max(most, running);
    releases.push(() => { running--; resolve({ ok: true, json: async () => [] }); });
  });
  const r = createRefiner({ fetch, concurrency: 2 });
  for (const k of ['a', 'b', 'c', 'd', 'e']) r.request(k, k, { pref: '東京都' });
  await settle();
  assert.equal(most, 2);
  assert.equal(r.pending(), 5);
  r.clear();
  assert.equal(r.pending(), 2);
  while (releases.length) { releases.shift()(); await settle(); }
  assert.equal(r.pending(), 0);
  assert.equal(most, 2);
});
