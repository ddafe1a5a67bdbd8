// Runs clang-tidy with the checks of .clang-tidy, and clazy's level-0 checks
// of Qt usage, over the program's own C++ sources (every .cpp in git that
// build/compile_commands.json compiles, but for tests/, bench/ and fuzz/,
// which would double a full run), one file per core at a time. Called by
// tools/lint.sh; see there.
//
// A file's findings are kept under a key made of its preprocessed text (with
// the tree's own path taken out, so that every checkout shares them), the
// check settings and the clang-tidy version: a file nothing reached since the
// last run is not analysed again. The cache lives in ~/.cache/tessolo-lint.
//
// Exit status 1 when clang-tidy reports an error (a check listed in
// WarningsAsErrors, or code it cannot compile) or clazy reports anything:
// level 0 holds only checks without false positives. clang-tidy's warnings
// are printed and counted but pass.

import { spawn, execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { existsSync, mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { cpus, homedir } from 'node:os';
import { dirname, join, relative, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const buildDir = join(root, 'build');
const cacheDir = process.env.TESSOLO_LINT_CACHE || join(homedir(), '.cache', 'tessolo-lint');
const ROOT_MARK = '@TESSOLO@';

function run(cmd, args, opts = {}) {
  return new Promise((done) => {
    const child = spawn(cmd, args, { cwd: opts.cwd || root, stdio: ['ignore', 'pipe', 'pipe'] });
    const out = [];
    const err = [];
    child.stdout.on('data', (c) => out.push(c));
    child.stderr.on('data', (c) => err.push(c));
    child.on('close', (code) => done({ code, out: Buffer.concat(out), err: Buffer.concat(err).toString() }));
  });
}

// A command line split as the shell splits it: blanks separate words but
// inside quotes; quotes are dropped; a backslash keeps the next character
// (CMake writes -DTESSOLO_VERSION=\"1.0.0\").
function shellWords(command) {
  const words = [];
  let word = null;
  let quote = null;
  for (let i = 0; i < command.length; i++) {
    const c = command[i];
    if (c === '\\' && quote !== "'" && i + 1 < command.length) {
      word = (word ?? '') + command[++i];
    } else if (quote) {
      if (c === quote) quote = null;
      else word += c;
    } else if (c === '"' || c === "'") {
      quote = c;
      word = word ?? '';
    } else if (/\s/.test(c)) {
      if (word !== null) words.push(word);
      word = null;
    } else {
      word = (word ?? '') + c;
    }
  }
  if (word !== null) words.push(word);
  return words;
}

// The compile command of each source, split into words.
function compileCommands() {
  const file = join(buildDir, 'compile_commands.json');
  if (!existsSync(file)) {
    console.error('lint: ' + relative(root, file) + ' is missing: run tools/build.sh first');
    process.exit(2);
  }
  const byFile = new Map();
  for (const e of JSON.parse(readFileSync(file, 'utf8'))) {
    const args = e.arguments || shellWords(e.command);
    byFile.set(resolve(e.directory, e.file), { directory: e.directory, args });
  }
  return byFile;
}

// The same command, printing the preprocessed text instead of compiling.
function preprocessArgs(args) {
  const out = [];
  for (let i = 0; i < args.length; i++) {
    if (args[i] === '-o') { i++; continue; }
    if (args[i] === '-c' || args[i].startsWith('-M')) continue;
    out.push(args[i]);
  }
  // the compiler launcher (ccache) is no use here
  while (out.length && /(^|\/)ccache$/.test(out[0])) out.shift();
  return [out[0], [...out.slice(1), '-E']];
}

const CLAZY_CHECKS = 'level0';

function settingsKey() {
  const version = execFileSync('clang-tidy', ['--version']).toString();
  const clazy = execFileSync('clazy-standalone', ['--version']).toString();
  return version + clazy + CLAZY_CHECKS + readFileSync(join(root, '.clang-tidy'), 'utf8');
}

async function lintOne(file, cmd, settings) {
  const [cc, ppArgs] = preprocessArgs(cmd.args);
  const pp = await run(cc, ppArgs, { cwd: cmd.directory });
  const key = createHash('sha256')
    .update(settings)
    .update(relative(root, file))
    .update(pp.code === 0 ? pp.out.toString().split(root).join(ROOT_MARK) : 'unpreprocessed ' + Date.now())
    .digest('hex');
  const cached = join(cacheDir, key.slice(0, 2), key);
  if (existsSync(cached)) {
    const kept = JSON.parse(readFileSync(cached, 'utf8'));
    return { file, code: kept.code, text: kept.text.split(ROOT_MARK).join(root), hit: true };
  }
  // The build's -Werror must not make clang's own warnings errors here.
  const r = await run('clang-tidy', ['-p', buildDir, '--quiet', '--extra-arg=-Wno-error', file]);
  // stderr holds only the count of suppressed warnings, unless it failed
  let text = r.out.toString() + (r.code !== 0 ? r.err : '');
  // clazy reports on stderr; its findings are errors, clang's own warnings
  // (which the compiler already judged) are left out.
  const z = await run('clazy-standalone', ['-p', buildDir, '-checks=' + CLAZY_CHECKS, '--extra-arg=-Wno-error',
    '--extra-arg=-w', file]);
  const clazyText = z.err.toString().split(/\n(?=\S[^\n]*:\d+:\d+: )/)
    .filter((b) => /\[-Wclazy-/.test(b))
    .map((b) => b.replace(/: warning: /, ': error: '))
    .join('\n');
  if (clazyText) text += (text.endsWith('\n') || !text ? '' : '\n') + clazyText + '\n';
  if (pp.code === 0) {
    mkdirSync(dirname(cached), { recursive: true });
    writeFileSync(cached, JSON.stringify({ code: r.code, text: text.split(root).join(ROOT_MARK) }));
  }
  return { file, code: r.code, text, hit: false };
}

async function main() {
  const started = Date.now();
  const commands = compileCommands();
  const asked = process.argv.slice(2).map((f) => resolve(f));
  const tracked = execFileSync('git', ['ls-files', '*.cpp'], { cwd: root }).toString().split('\n')
    .filter((f) => f && !/^(tests|bench|fuzz)\//.test(f));
  const files = (asked.length ? asked : tracked.map((f) => join(root, f))).filter((f) => commands.has(f));
  const settings = settingsKey();

  const results = [];
  let next = 0;
  const worker = async () => {
    while (next < files.length) {
      const f = files[next++];
      results.push(await lintOne(f, commands.get(f), settings));
    }
  };
  await Promise.all(Array.from({ length: Math.max(1, cpus().length) }, worker));

  // A header's findings come once per file that includes it: each is
  // printed once.
  const seen = new Set();
  let errors = 0;
  let warnings = 0;
  const longFunctions = [];
  for (const r of results.sort((a, b) => (a.file < b.file ? -1 : 1))) {
    const blocks = r.text.split(/\n(?=\S[^\n]*:\d+:\d+: (?:error|warning|note): )/);
    for (const block of blocks) {
      const head = /^(\S[^\n]*):(\d+):\d+: (error|warning): ([^\n]*)/.exec(block);
      if (!head || seen.has(head[0])) continue;
      seen.add(head[0]);
      if (/\[readability-function-size/.test(head[4])) {
        const lines = /(\d+) lines including/.exec(block);
        longFunctions.push(relative(root, head[1]) + ':' + head[2] + (lines ? ' (' + lines[1] + ' lines)' : ''));
        continue;
      }
      if (head[3] === 'error') errors++; else warnings++;
      console.log(block.trimEnd().split(root + '/').join(''));
    }
    if (r.code !== 0 && !/: error: /.test(r.text)) {
      console.log(relative(root, r.file) + ': clang-tidy failed (' + r.code + '):\n' + r.text.trimEnd());
      errors++;
    }
  }
  if (longFunctions.length) {
    console.log('\nfunctions over 80 lines (to split; they do not fail the lint):');
    for (const f of longFunctions.sort()) console.log('  ' + f);
  }
  const hits = results.filter((r) => r.hit).length;
  console.log(`\nlint (clang-tidy and clazy): ${files.length} files (${hits} unchanged since an earlier run), ` +
    `${errors} errors, ${warnings} warnings, ${longFunctions.length} long functions, ` +
    `${((Date.now() - started) / 1000).toFixed(0)} s`);
  process.exit(errors ? 1 : 0);
}

await main();
