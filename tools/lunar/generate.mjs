// Generates lunar/lunar_year_table.cc and lunar/solar_term_table.cc.
//
//   npm ci --prefix tools/lunar && node tools/lunar/generate.mjs
//
// Every value is computed here: the moments of the solar terms (the Sun's
// apparent longitude reaching a multiple of 15 degrees) and of the new moons
// (the apparent longitudes of Sun and Moon equal), both in China Standard
// Time; the lunar months then follow from the calendar rules:
//   - a month runs from the day of one new moon to the day before the next;
//   - the month containing the day of the winter solstice (冬至) is month 11;
//   - when 13 months begin between two such months 11, the first of them
//     without a principal term (中气, longitude a multiple of 30 degrees) is
//     the leap month and repeats the number of the month before it.
// Days are reckoned in UTC+8, except in the calendars of 1912-1928: the
// observatory of the Republic computed them for the meridian of Beijing, whose
// local mean time is 14 min 20 s behind UTC+8, and that moved the first day of
// three months (1914 十月, 1916 正月, 1920 十月, new moons a few minutes after
// midnight in UTC+8) to the day before. The solar-term table itself always
// gives UTC+8.

// Moments close to midnight, where a small change of ΔT or theory would move
// a date (the generator prints these lists on every run):
//
// Solar terms of 1880-2079 within two minutes of midnight, CST:
//   1881 冬至 12-22 00:00:38 (38.5 s after)    1950 谷雨 04-20 23:59:09 (50.8 s before)
//   1890 雨水 02-18 23:58:56 (63.5 s before)   1951 冬至 12-23 00:00:05 (5.0 s after)
//   1911 立夏 05-07 00:00:23 (23.2 s after)    1979 大寒 01-20 23:59:57 (3.4 s before)
//   1917 小满 05-21 23:58:37 (82.6 s before)   1984 大暑 07-22 23:58:14 (106.2 s before)
//   1917 大雪 12-08 00:01:05 (65.3 s after)    2008 小满 05-21 00:00:50 (50.2 s after)
//   1923 雨水 02-19 23:59:46 (14.4 s before)   2021 冬至 12-21 23:59:06 (53.8 s before)
//                                              2051 春分 03-20 23:58:27 (92.7 s before)
// The three after 2000 depend on the ΔT prediction (astro.mjs); with the
// measured or astronomia's own ΔT they come 3 s, 11 s and 26 s later, still on
// the same day. 1951 冬至 and 1979 大寒 are the tightest: both days agree with
// the independent library of crosscheck.mjs.
//
// New moons within two minutes of midnight, 1901-2049: 2018-11-08 00:01:54
// CST (十月). Three more fall a few minutes after midnight in UTC+8 but before
// midnight in Beijing local time, which decides them (see above):
// 1914-11-18 00:01:41, 1916-02-04 00:05:15, 1920-11-11 00:04:48 CST.

import { writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

import {
  civilFromDays, daysFromCivil, deltaT, julianDay, measuredDeltaT, newMoonJDE, sunLongitudeJDE, toCST,
} from './astro.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const repo = join(here, '..', '..');

const FIRST_TERM_YEAR = 1880;
const LAST_TERM_YEAR = 2079;
const FIRST_LUNAR_YEAR = 1901;
const LAST_LUNAR_YEAR = 2049;

const TERM_NAMES = [
  '小寒', '大寒', '立春', '雨水', '惊蛰', '春分', '清明', '谷雨', '立夏', '小满', '芒种', '夏至',
  '小暑', '大暑', '立秋', '处暑', '白露', '秋分', '寒露', '霜降', '立冬', '小雪', '大雪', '冬至',
];
const MONTH_NAMES = ['正', '二', '三', '四', '五', '六', '七', '八', '九', '十', '冬', '腊'];

const BEIJING_LONGITUDE = 116 + 25 / 60;  // the old observatory
const BEIJING_BEHIND_SECONDS = (120 - BEIJING_LONGITUDE) * 240;
const BEIJING_FROM = daysFromCivil(1912, 1, 1);
const BEIJING_UNTIL = daysFromCivil(1929, 1, 1);

// Day number (days since 1970-01-01) of a moment for the calendar rules.
function calendarDay(moment) {
  const inBeijingTime = moment.day >= BEIJING_FROM && moment.day < BEIJING_UNTIL;
  return Math.floor((moment.exactSeconds - (inBeijingTime ? BEIJING_BEHIND_SECONDS : 0)) / 86400);
}

// Term k (0-based, 小寒 first) of a Gregorian year: longitude 285 + 15k.
function termMoment(year, k) {
  const degrees = (285 + 15 * k) % 360;
  // 小寒 falls near 6 January; successive terms are about 15.2 days apart.
  const guess = julianDay(year, 1, 6) + k * 15.2184;
  return toCST(sunLongitudeJDE(degrees, guess));
}

function solarTerms() {
  const years = [];
  for (let y = FIRST_TERM_YEAR; y <= LAST_TERM_YEAR; y++) {
    const terms = [];
    for (let k = 0; k < 24; k++) terms.push(termMoment(y, k));
    years.push({ year: y, terms });
  }
  return years;
}

// New-moon days (days since 1970-01-01 CST) from before `fromDay` to after `toDay`.
function newMoonDays(fromDay, toDay) {
  const SYNODIC = 29.530588853;
  const days = [];
  // 1970-01-07 had a new moon: count whole months from it to a little before
  // `fromDay`, then walk forward month by month.
  const guess = julianDay(1970, 1, 7) + Math.round((fromDay - 46) / SYNODIC) * SYNODIC;
  let jde = newMoonJDE(guess);
  for (;;) {
    const m = toCST(jde);
    days.push({ day: calendarDay(m), moment: m });
    if (m.day > toDay + 40) break;
    jde = newMoonJDE(jde + SYNODIC);
  }
  return days;
}

// Lunar months from the month 11 before lunar year FIRST_LUNAR_YEAR to the one
// after LAST_LUNAR_YEAR: [{start, days, number, leap}].
function lunarMonths(terms) {
  // Principal terms by day: index 1 (大寒), 3, ..., 23 (冬至) of each year.
  const principal = [];
  const solstice = new Map();
  for (const { year, terms: ts } of terms) {
    for (let k = 1; k < 24; k += 2) principal.push(calendarDay(ts[k]));
    solstice.set(year, calendarDay(ts[23]));
  }
  const from = solstice.get(FIRST_LUNAR_YEAR - 1);
  const to = solstice.get(LAST_LUNAR_YEAR + 1);
  const newMoons = newMoonDays(from, to);
  const moons = newMoons.map((n) => n.day);
  const hasPrincipal = (start, end) => principal.some((d) => d >= start && d < end);
  // Index of the month (by its start in `moons`) that contains `day`.
  const monthOf = (day) => {
    for (let i = 0; i + 1 < moons.length; i++) if (moons[i] <= day && day < moons[i + 1]) return i;
    throw new Error(`no month contains day ${day}`);
  };

  const months = [];
  for (let y = FIRST_LUNAR_YEAR - 1; y <= LAST_LUNAR_YEAR; y++) {
    const a = monthOf(solstice.get(y));
    const b = monthOf(solstice.get(y + 1));
    const count = b - a;
    if (count !== 12 && count !== 13) throw new Error(`${count} months between the solstices of ${y} and ${y + 1}`);
    let leapIndex = -1;
    if (count === 13) {
      for (let i = a + 1; i < b; i++) {
        if (!hasPrincipal(moons[i], moons[i + 1])) {
          leapIndex = i;
          break;
        }
      }
      if (leapIndex < 0) throw new Error(`no month without principal term after the solstice of ${y}`);
    }
    let number = 11;
    for (let i = a; i < b; i++) {
      const leap = i === leapIndex;
      if (i > a && !leap) number = (number % 12) + 1;
      months.push({ start: moons[i], days: moons[i + 1] - moons[i], number, leap, moment: newMoons[i].moment });
    }
  }
  return months;
}

// Month-size word and leap month of every lunar year.
function lunarYears(months) {
  const years = [];
  let i = months.findIndex((m) => m.number === 1 && !m.leap);
  for (let y = FIRST_LUNAR_YEAR; y <= LAST_LUNAR_YEAR; y++) {
    const own = [];
    do {
      own.push(months[i++]);
    } while (i < months.length && !(months[i].number === 1 && !months[i].leap));
    if (i >= months.length && y !== LAST_LUNAR_YEAR) throw new Error(`months end inside ${y}`);
    const start = civilFromDays(own[0].start);
    if (start.y !== y) throw new Error(`lunar year ${y} begins in ${start.y}`);
    const leapMonth = own.find((m) => m.leap)?.number ?? 0;
    let word = 0;
    own.forEach((m, pos) => {
      if (m.days !== 29 && m.days !== 30) throw new Error(`month of ${m.days} days in ${y}`);
      if (m.days === 30) word |= 1 << (15 - pos);
    });
    const days = own.reduce((s, m) => s + m.days, 0);
    years.push({ year: y, word, leapMonth, months: own, days, start });
  }
  // The last year needs the months that follow it to be complete.
  if (i >= months.length) throw new Error('months end inside the last year');
  return years;
}

const pad2 = (n) => String(n).padStart(2, '0');
const hex = (n, w) => '0x' + n.toString(16).toUpperCase().padStart(w, '0');

const FENCE = (what, days) => `// GENERATED FILE, DO NOT EDIT.
// ${what}
// Generator: tools/lunar/generate.mjs (regenerate with
//   npm ci --prefix tools/lunar && node tools/lunar/generate.mjs).
// Source of the data: the generator's own computation, from the VSOP87 theory
// of the Earth and the ELP/MPP02 theory of the Moon (as published in the
// astronomia package, version pinned in tools/lunar/package-lock.json), with
// IAU 1980 nutation, annual aberration and the ΔT model of tools/lunar/astro.mjs.
// ${days}
`;

function lunarYearSource(years) {
  const stemBranch = (y) => '甲乙丙丁戊己庚辛壬癸'[(y - 4) % 10] + '子丑寅卯辰巳午未申酉戌亥'[(y - 4) % 12];
  let out = FENCE('Month sizes and leap months of the lunar years 1901-2049.',
    'Days in China Standard Time (UTC+8); 1912-1928 in Beijing local time, as then.');
  out += `
#include "lunar/lunar_tables.h"

namespace tarvok::lunar {

// clang-format off
const uint16_t kLunarMonthWords[kLunarYears] = {
`;
  for (const y of years) {
    const sizes = y.months.map((m) => (m.leap ? '闰' : '') + MONTH_NAMES[m.number - 1] + (m.days === 30 ? '大' : '小'));
    out += `    ${hex(y.word, 4)},  // ${y.year} ${stemBranch(y.year)} 正月初一 ${y.start.y}-${pad2(y.start.m)}-${pad2(y.start.d)}, ${y.days} days: ${sizes.join(' ')}\n`;
  }
  out += `};

const uint8_t kLunarLeapMonths[(kLunarYears + 1) / 2] = {
`;
  for (let k = 0; k < years.length; k += 2) {
    const hi = years[k];
    const lo = years[k + 1];
    const byte = (hi.leapMonth << 4) | (lo ? lo.leapMonth : 0);
    const what = (y) => (y.leapMonth ? `闰${MONTH_NAMES[y.leapMonth - 1]}月` : 'no leap month');
    out += `    ${hex(byte, 2)},  // ${hi.year}: ${what(hi)}; ${lo ? `${lo.year}: ${what(lo)}` : 'low nibble unused'}\n`;
  }
  out += `};
// clang-format on

}  // namespace tarvok::lunar
`;
  return out;
}

function solarTermSource(terms) {
  let out = FENCE('The 24 solar terms of the Gregorian years 1880-2079, {month, day, hour, minute, second}.',
    'Moments in China Standard Time (UTC+8), rounded to the second.');
  out += `//
// In each row: ${TERM_NAMES.join(' ')}.
`;
  out += `
#include "lunar/lunar_tables.h"

namespace tarvok::lunar {

// clang-format off
const TermMoment kSolarTerms[kTermYears][24] = {
`;
  for (const { year, terms: ts } of terms) {
    const cells = ts.map((t) => `{${[t.m, t.d, t.hour, t.minute, t.second].map((v) => String(v).padStart(2)).join(',')}}`);
    out += `    {${cells.join(',')}},  // ${year}\n`;
  }
  out += `};
// clang-format on

}  // namespace tarvok::lunar
`;
  return out;
}

// Terms and new moons within two minutes of midnight, where another ΔT or
// theory could move them to the neighbouring day.
const NEAR_SECONDS = 120;
function nearMidnight(moment, behind = 0) {
  const sod = ((((moment.exactSeconds - behind) % 86400) + 86400) % 86400);
  if (sod < NEAR_SECONDS) return sod;
  if (sod > 86400 - NEAR_SECONDS) return sod - 86400;
  return null;
}

function describeNear(what, moment, behind = 0) {
  const off = nearMidnight(moment, behind);
  const t = `${moment.y}-${pad2(moment.m)}-${pad2(moment.d)} ${pad2(moment.hour)}:${pad2(moment.minute)}:${pad2(moment.second)}`;
  const side = off < 0 ? `${(-off).toFixed(1)} s before midnight` : `${off.toFixed(1)} s after midnight`;
  // Where the ΔT prediction applies, how far astronomia's own ΔT would move it.
  const shift = deltaT(moment.jde) - measuredDeltaT(moment.jde);
  const alt = Math.abs(shift) >= 0.05 ? `; ${shift > 0 ? '+' : ''}${shift.toFixed(1)} s with astronomia's ΔT` : '';
  return `${what} ${t} CST (${side}${behind ? ' in Beijing local time' : ''}${alt})`;
}

function main() {
  const terms = solarTerms();
  for (const { year, terms: ts } of terms) {
    ts.forEach((t, k) => {
      if (t.y !== year) throw new Error(`${TERM_NAMES[k]} of ${year} falls in ${t.y}`);
      if (k > 0 && !(t.exactSeconds > ts[k - 1].exactSeconds)) throw new Error(`terms of ${year} out of order`);
    });
  }
  const months = lunarMonths(terms);
  const years = lunarYears(months);
  const near = [];
  for (const { year, terms: ts } of terms) {
    ts.forEach((t, k) => {
      if (nearMidnight(t) !== null) near.push(describeNear(`${year} ${TERM_NAMES[k]}`, t));
    });
  }
  console.log(`solar terms within ${NEAR_SECONDS} s of midnight (CST):`);
  for (const line of near) console.log(`  ${line}`);
  console.log(`new moons within ${NEAR_SECONDS} s of midnight (CST), ${FIRST_LUNAR_YEAR}-${LAST_LUNAR_YEAR}:`);
  for (const m of months) {
    const behind = m.moment.exactSeconds / 86400 - calendarDay(m.moment) >= 1 ? BEIJING_BEHIND_SECONDS : 0;
    if (nearMidnight(m.moment, behind) !== null) {
      console.log(`  ${describeNear(`${m.leap ? '闰' : ''}${MONTH_NAMES[m.number - 1]}月`, m.moment, behind)}`);
    }
  }
  console.log(`principal terms within ${NEAR_SECONDS} s of midnight in Beijing local time, 1912-1928:`);
  for (const { year, terms: ts } of terms) {
    if (year < 1912 || year > 1928) continue;
    for (let k = 1; k < 24; k += 2) {
      if (nearMidnight(ts[k], BEIJING_BEHIND_SECONDS) !== null) {
        console.log(`  ${describeNear(`${year} ${TERM_NAMES[k]}`, ts[k], BEIJING_BEHIND_SECONDS)}`);
      }
    }
  }
  writeFileSync(join(repo, 'lunar', 'solar_term_table.cc'), solarTermSource(terms));
  writeFileSync(join(repo, 'lunar', 'lunar_year_table.cc'), lunarYearSource(years));
}

main();
