// Reads the national postal code list (ken_all.csv: code page 932, CR LF,
// quoted text fields, no header) into rows of the columns the geodata
// scripts need.

import { existsSync, readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';

function splitCsvLine(line) {
  const fields = [];
  let cur = '';
  let quoted = false;
  for (let i = 0; i < line.length; i++) {
    const c = line[i];
    if (quoted) {
      if (c === '"') {
        if (line[i + 1] === '"') { cur += '"'; i++; } else quoted = false;
      } else cur += c;
    } else if (c === '"') quoted = true;
    else if (c === ',') { fields.push(cur); cur = ''; }
    else cur += c;
  }
  fields.push(cur);
  return fields;
}

export function readPostalList(path) {
  const text = new TextDecoder('shift_jis').decode(readFileSync(path));
  const rows = [];
  for (const line of text.split(/\r?\n/)) {
    if (!line) continue;
    const f = splitCsvLine(line);
    if (f.length < 9) continue;
    rows.push({
      code: f[2], prefKana: f[3], cityKana: f[4], townKana: f[5],
      pref: f[6], city: f[7], town: f[8]
    });
  }
  return rows;
}

// The shared data folder (../shared beside the checkout); a worktree sits one
// level deeper, so the parents are walked up until it is found.
export function sharedPath(from, rel) {
  let dir = from;
  for (;;) {
    const p = join(dir, '..', 'shared', rel);
    if (existsSync(p)) return p;
    const up = dirname(dir);
    if (up === dir) return join(from, '..', 'shared', rel);
    dir = up;
  }
}
