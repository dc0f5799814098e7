// Compares the organiser's lunar engine with an independent implementation,
// the lunar-javascript library (its own astronomical computation; the
// generator does not use it):
//   - every day from 1901-02-19 to 2048-12-31 has the same lunar year, month,
//     day and leap flag, and the engine refuses the days outside that range;
//   - every day of 1880-2079 has the same solar term (or none);
//   - the table's moments of the terms lie within MAX_MOMENT_SECONDS of the
//     library's (they differ by seconds, mostly through ΔT).
//
//   node tools/lunar/crosscheck.mjs <path of lunar_crosscheck_dump>
//
// Exit status 0 when all agree, 1 on any difference, 77 (skipped) when the
// library is not installed (npm ci --prefix tools/lunar).

import { execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';

const SKIP = 77;
const MAX_MOMENT_SECONDS = 60;
const MAX_REPORTED = Number(process.env.CROSSCHECK_MAX_REPORTED ?? 20);

const require = createRequire(import.meta.url);
let lib;
try {
  lib = require('lunar-javascript');
} catch {
  console.log('crosscheck: lunar-javascript is not installed (npm ci --prefix tools/lunar); skipped');
  process.exit(SKIP);
}
const { Lunar, Solar } = lib;

const dumpPath = process.argv[2];
if (!dumpPath) {
  console.error('usage: node crosscheck.mjs <lunar_crosscheck_dump>');
  process.exit(2);
}

const TERMS = [
  '小寒', '大寒', '立春', '雨水', '惊蛰', '春分', '清明', '谷雨', '立夏', '小满', '芒种', '夏至',
  '小暑', '大暑', '立秋', '处暑', '白露', '秋分', '寒露', '霜降', '立冬', '小雪', '大雪', '冬至',
];
// The library names the terms of the neighbouring years in pinyin.
const PINYIN = {
  DONG_ZHI: '冬至', XIAO_HAN: '小寒', DA_HAN: '大寒', LI_CHUN: '立春', YU_SHUI: '雨水', JING_ZHE: '惊蛰',
  DA_XUE: '大雪',
};

let failures = 0;
const fail = (message) => {
  if (failures++ < MAX_REPORTED) console.log(`MISMATCH ${message}`);
};

const dump = execFileSync(dumpPath, { encoding: 'utf8', maxBuffer: 64 << 20 }).split('\n');

// The library's terms: (Gregorian year, index 1..24) -> its Solar moment.
const libTerms = new Map();
for (let ly = 1879; ly <= 2080; ly++) {
  const table = Lunar.fromYmd(ly, 1, 1).getJieQiTable();
  for (const [key, solar] of Object.entries(table)) {
    const name = PINYIN[key] ?? key;
    const index = TERMS.indexOf(name) + 1;
    if (index === 0) continue;
    libTerms.set(`${solar.getYear()} ${index}`, solar);
  }
}
const libTermOn = new Map();  // 'YYYY-MM-DD' -> index
for (const [key, solar] of libTerms) libTermOn.set(solar.toYmd(), Number(key.split(' ')[1]));

const FIRST = '1901-02-19';
const LAST = '2048-12-31';
let days = 0;
let lunarDays = 0;
let termDays = 0;
let moments = 0;
let maxMoment = { seconds: 0, what: '' };

for (const line of dump) {
  if (!line) continue;
  const f = line.split(' ');
  if (f[0] === 'D') {
    const [, date, ly, lm, ld, leap, term] = f;
    days++;
    const inRange = date >= FIRST && date <= LAST;
    const [y, m, d] = date.split('-').map(Number);
    if (inRange) {
      lunarDays++;
      const lunar = Solar.fromYmd(y, m, d).getLunar();
      const want = `${lunar.getYear()} ${Math.abs(lunar.getMonth())} ${lunar.getDay()} ${lunar.getMonth() < 0 ? 1 : 0}`;
      const got = `${ly} ${lm} ${ld} ${leap}`;
      if (got !== want) {
        fail(`${date}: engine ${got}, library ${want} (year month day leap)`);
      }
    } else if (ly !== '-') {
      fail(`${date}: engine gives a lunar date outside ${FIRST}..${LAST}`);
    }
    const wantTerm = libTermOn.get(date) ?? 0;
    if (Number(term) !== wantTerm) fail(`${date}: engine term ${term}, library term ${wantTerm}`);
    if (wantTerm) termDays++;
  } else if (f[0] === 'T') {
    const [, y, index, mo, d, h, mi, s] = f.map(Number);
    const solar = libTerms.get(`${y} ${index}`);
    if (!solar) {
      fail(`${y} ${TERMS[index - 1]}: the library has no such term`);
      continue;
    }
    moments++;
    const ours = Date.UTC(y, mo - 1, d, h, mi, s);
    const theirs = Date.UTC(solar.getYear(), solar.getMonth() - 1, solar.getDay(), solar.getHour(),
      solar.getMinute(), solar.getSecond());
    const diff = (ours - theirs) / 1000;
    if (Math.abs(diff) > Math.abs(maxMoment.seconds)) {
      maxMoment = { seconds: diff, what: `${y} ${TERMS[index - 1]}: table ${mo}-${d} ${h}:${mi}:${s}, library ${solar.toYmdHms()}` };
    }
    if (Math.abs(diff) > MAX_MOMENT_SECONDS) fail(`${y} ${TERMS[index - 1]}: moments ${diff} s apart`);
  }
}

if (days !== 73049) fail(`the dump has ${days} days, not the 73049 of 1880-2079`);
if (lunarDays !== 54008) fail(`the dump has ${lunarDays} convertible days, not 54008`);
if (moments !== 4800) fail(`the dump has ${moments} term moments, not 4800`);

console.log(`crosscheck: ${lunarDays} lunar dates, ${days} days with ${termDays} term days, ${moments} term moments compared`);
console.log(`crosscheck: largest moment difference ${maxMoment.seconds} s (${maxMoment.what})`);
if (failures > MAX_REPORTED) console.log(`... and ${failures - MAX_REPORTED} more`);
console.log(failures ? `crosscheck: FAILED, ${failures} differences` : 'crosscheck: all agree');
process.exit(failures ? 1 : 0);
