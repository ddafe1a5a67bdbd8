// Checks the map page in a headless Chromium: serves the page the way the
// program's server lays it out under /velmo/ (app/web plus the Leaflet
// files from node_modules), runs harness.js against it and prints the
// result. Needs `chromium` on the PATH (Debian package chromium).
//
//   node tests/web/page/run.mjs            functional checks and timings
//   node tests/web/page/run.mjs --shot F   also a screenshot of the page
//                                          with its tiles unreachable
//
// Exit status 0 only if every check passed and the page raised no error; 77
// (skipped) where chromium is missing.

import { createServer } from 'node:http';
import { spawn } from 'node:child_process';
import { createReadStream, existsSync, mkdtempSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, extname, join, normalize, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const repo = resolve(here, '../../..');
const shotAt = process.argv.indexOf('--shot');
const shotFile = shotAt > 0 ? resolve(process.argv[shotAt + 1]) : null;

// URL prefix → folder; all but the last are the velmo folder's layout.
const ROUTES = [
  ['/velmo/leaflet/', join(repo, 'node_modules/leaflet/dist')],
  ['/velmo/leaflet.markercluster/', join(repo, 'node_modules/leaflet.markercluster/dist')],
  ['/velmo/topojson-client/', join(repo, 'node_modules/topojson-client/dist')],
  ['/velmo/@geoman-io/leaflet-geoman-free/', join(repo, 'node_modules/@geoman-io/leaflet-geoman-free/dist')],
  ['/velmo/leaflet.heat/', join(repo, 'node_modules/leaflet.heat/dist')],
  ['/velmo/', join(repo, 'app/web')],
  ['/harness/', here]
];
const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8', '.json': 'application/json', '.geojson': 'application/geo+json',
  '.png': 'image/png', '.svg': 'image/svg+xml', '.txt': 'text/plain; charset=utf-8'
};

let onReport;
const reported = new Promise((r) => { onReport = r; });

const server = createServer((req, res) => {
  const url = new URL(req.url, 'http://x');
  if (req.method === 'POST' && url.pathname === '/report') {
    let body = '';
    req.on('data', (c) => { body += c; });
    req.on('end', () => { res.end('ok'); onReport(JSON.parse(body)); });
    return;
  }
  for (const [prefix, dir] of ROUTES) {
    if (!url.pathname.startsWith(prefix)) continue;
    const file = normalize(join(dir, decodeURIComponent(url.pathname.slice(prefix.length))));
    if (!file.startsWith(dir) || !existsSync(file) || !statSync(file).isFile()) break;
    res.writeHead(200, { 'Content-Type': TYPES[extname(file)] || 'application/octet-stream', 'X-Content-Type-Options': 'nosniff' });
    return createReadStream(file).pipe(res);
  }
  res.writeHead(404);
  res.end();
});

function chromium(args) {
  const profile = mkdtempSync(join(tmpdir(), 'tessolo-chromium-'));
  const child = spawn('chromium', ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
    '--no-first-run', '--enable-logging=stderr', '--user-data-dir=' + profile, '--window-size=1100,800', ...args],
  { stdio: ['ignore', 'ignore', 'pipe'], detached: true });
  let err = '';
  child.stderr.on('data', (c) => { err += c; });
  const done = new Promise((r) => child.on('exit', r));
  return {
    done,
    stderr: () => err,
    stop: async () => {
      try { process.kill(-child.pid, 'SIGTERM'); } catch (e) { /* already gone */ }
      await done;
      rmSync(profile, { recursive: true, force: true });
    }
  };
}

// ctest counts exit status 77 as skipped, with this line as the reason.
const SKIPPED = 77;
const onPath = (name) => (process.env.PATH || '').split(':').some((d) => d && existsSync(join(d, name)));
if (!onPath('chromium')) {
  console.log('skipped: the page tests need the browser engine, and chromium is not on the PATH (Debian package chromium)');
  process.exit(SKIPPED);
}

await new Promise((r) => server.listen(0, '127.0.0.1', r));
const base = 'http://127.0.0.1:' + server.address().port;

let failed = false;
const browser = chromium([base + '/harness/harness.html']);
const timeout = new Promise((r) => setTimeout(() => r(null), 180000));
const report = await Promise.race([reported, timeout, browser.done.then(() => null)]);
await browser.stop();

if (!report) {
  console.log('no report from the page');
  console.log(browser.stderr().slice(-2000));
  failed = true;
} else {
  for (const c of report.checks) {
    console.log((c.ok ? 'ok   ' : 'FAIL ') + c.name + (c.ok || !c.detail ? '' : '  [' + c.detail + ']'));
    if (!c.ok) failed = true;
  }
  for (const t of report.timings) {
    console.log(`timing: ${t.marks} search_geo2 calls → all marks present in ${t.ms} ms (last call made at ${t.callsMs} ms)`);
  }
  for (const e of report.errors) { console.log('page error: ' + e); failed = true; }
}
if (failed) {
  // the page's console, which Chromium logs to stderr
  console.log(browser.stderr().split('\n').filter((l) => /CONSOLE/.test(l)).join('\n').slice(-3000));
}

if (shotFile) {
  const shot = chromium(['--screenshot=' + shotFile, '--virtual-time-budget=8000', '--hide-scrollbars', base + '/harness/demo.html']);
  await Promise.race([shot.done, new Promise((r) => setTimeout(r, 60000))]);
  await shot.stop();
  console.log(existsSync(shotFile) ? 'screenshot: ' + shotFile : 'no screenshot taken');
}

server.close();
process.exit(failed ? 1 : 0);
