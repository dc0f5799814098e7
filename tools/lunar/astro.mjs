// Moments of solar terms and new moons in China Standard Time, computed from
// VSOP87 (the Sun), ELP/MPP02 (the Moon), IAU 1980 nutation and ΔT.

import { deltat, elp, nutation, planetposition, solar } from 'astronomia';
import vsop87Bearth from 'astronomia/data/vsop87Bearth';
// The ELP/MPP02 series truncated as shipped: within 0.05" of the full series
// over 1880-2080, a tenth of a second in the moment of a new moon.
import elpMppDe from 'astronomia/data/elpMppDe';

const earth = new planetposition.Planet(vsop87Bearth);
const moon = new elp.Moon(elpMppDe);

const TWO_PI = 2 * Math.PI;
const DEG = Math.PI / 180;
const J2000 = 2451545.0;
const CST_OFFSET_DAYS = 8 / 24;

// Wraps an angle into [-π, π).
function wrap(a) {
  return a - TWO_PI * Math.floor((a + Math.PI) / TWO_PI);
}

// Apparent geocentric ecliptic longitude of the Sun, equinox of date (radians).
export function sunApparentLongitude(jde) {
  return solar.apparentVSOP87(earth, jde).lon;
}

// The Moon's light takes 1.28 s to reach us (its distance varies that by less
// than 0.1 s).
const MOON_LIGHT_TIME_DAYS = 1.282 / 86400;

// Apparent geocentric ecliptic longitude of the Moon, equinox of date: the
// position at the moment its light left, plus nutation in longitude.
export function moonApparentLongitude(jde) {
  const lon = moon.position(jde - MOON_LIGHT_TIME_DAYS).lon;
  return lon + nutation.nutation(jde)[0];
}

// ΔT = TT - UT in seconds at a Julian ephemeris day.
//
// Before 2000 it is the measured value (the historical series and the IERS
// observations that astronomia carries). From 2000 on it is the prediction
//     ΔT = 63.83 + 0.485 t + 0.01233 t²   (t = years since 2000.0),
// which joins the measured value at 2000.0 and passes through 72.26 s at
// 2013.05 and 181.45 s at 2079.97. Those two values are recovered from the
// published moments of 2013 小寒 (1-5 12:33:33), 2013 立春 (2-4 00:13:20) and
// 2079 冬至 (12-22 01:43:12), which the calendars in use were computed with;
// the measured ΔT would put the 2013 moments 5 s later. The Earth has turned
// faster than that prediction (measured ΔT 66.9 s in 2013, 69.2 s in 2024), so
// the moments from 2001 on lie up to that much earlier than the true ones
// (13 s in 2024). The generator lists the moments close enough to midnight
// for that to matter: with astronomia's ΔT none of them moves to another day.
//
// Before 2000 nothing is fitted: the measured ΔT of 1880 (-5.4 s) puts 1880
// 小寒 at 05:41:44.3, 0.7 s before the published 05:41:45.
export const PREDICTION_FROM = 2000.0;
export function deltaT(jde) {
  const year = 2000 + (jde - J2000) / 365.25;
  if (year < PREDICTION_FROM) return deltat.deltaT(year);
  const t = year - PREDICTION_FROM;
  return 63.83 + 0.485 * t + 0.01233 * t * t;
}

// astronomia's ΔT: the measured values, and past its IERS data its own
// prediction. It shows how far a moment depends on the prediction above.
export function measuredDeltaT(jde) {
  return deltat.deltaT(2000 + (jde - J2000) / 365.25);
}

// Solves f(jde) = 0 (an angle) by Newton steps with the fixed mean rate of
// change of f, in radians per day.
function solve(f, jde, rate) {
  for (let i = 0; i < 30; i++) {
    const step = wrap(f(jde)) / rate;
    jde -= step;
    if (Math.abs(step) < 1e-9) return jde;
  }
  throw new Error(`no convergence near JDE ${jde}`);
}

const SUN_RATE = TWO_PI / 365.2422;
const SYNODIC = 29.530588853;
const MOON_RATE = TWO_PI / SYNODIC;

// JDE at which the Sun's apparent longitude is `degrees`, nearest to `guess`.
export function sunLongitudeJDE(degrees, guess) {
  return solve((t) => sunApparentLongitude(t) - degrees * DEG, guess, SUN_RATE);
}

// JDE of the new moon nearest to `guess`.
export function newMoonJDE(guess) {
  return solve((t) => moonApparentLongitude(t) - sunApparentLongitude(t), guess, MOON_RATE);
}

// Days from 1970-01-01 to a Gregorian date (proleptic).
export function daysFromCivil(y, m, d) {
  y -= m <= 2 ? 1 : 0;
  const era = Math.floor(y / 400);
  const yoe = y - era * 400;
  const doy = Math.floor((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5) + d - 1;
  const doe = yoe * 365 + Math.floor(yoe / 4) - Math.floor(yoe / 100) + doy;
  return era * 146097 + doe - 719468;
}

// The Gregorian date of a day number from daysFromCivil.
export function civilFromDays(z) {
  z += 719468;
  const era = Math.floor(z / 146097);
  const doe = z - era * 146097;
  const yoe = Math.floor((doe - Math.floor(doe / 1460) + Math.floor(doe / 36524) - Math.floor(doe / 146096)) / 365);
  const doy = doe - (365 * yoe + Math.floor(yoe / 4) - Math.floor(yoe / 100));
  const mp = Math.floor((5 * doy + 2) / 153);
  const d = doy - Math.floor((153 * mp + 2) / 5) + 1;
  const m = mp + (mp < 10 ? 3 : -9);
  return { y: era * 400 + yoe + (m <= 2 ? 1 : 0), m, d };
}

const UNIX_EPOCH_JD = 2440587.5;

// A JDE as a moment in China Standard Time, rounded to the whole second.
// `exactSeconds` keeps the unrounded seconds since 1970-01-01 00:00 CST,
// `jde` the moment it came from.
export function toCST(jde) {
  const jdUT = jde - deltaT(jde) / 86400;
  const exactSeconds = (jdUT - UNIX_EPOCH_JD + CST_OFFSET_DAYS) * 86400;
  const seconds = Math.round(exactSeconds);
  const day = Math.floor(seconds / 86400);
  const sod = seconds - day * 86400;
  const { y, m, d } = civilFromDays(day);
  return {
    y, m, d, day,
    hour: Math.floor(sod / 3600),
    minute: Math.floor((sod % 3600) / 60),
    second: sod % 60,
    exactSeconds,
    jde,
  };
}

// Julian day (UT) of a Gregorian date at 0h UT.
export function julianDay(y, m, d) {
  return daysFromCivil(y, m, d) + UNIX_EPOCH_JD;
}
