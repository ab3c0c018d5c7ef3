#!/usr/bin/env node
// Writes a table of an .mdb file as CSV through mdb-reader, in the same form as
// `mdbtool export` (and mdb-export -b hex with ISO dates), so that a third,
// independent reader can settle differences between ours and mdbtools.
//
//   node mdbreader-export.mjs FILE TABLE [--tsv] [--password P]
//   node mdbreader-export.mjs FILE --all OUTDIR [--password P]
//       writes every user table to OUTDIR/NN-<table>.csv (tables in mdb-reader's
//       order, names mangled as the mdbtools oracle does) plus OUTDIR/tables.tsv
//   node mdbreader-export.mjs FILE --tables          one user table name per line
//   node mdbreader-export.mjs FILE --counts          every table, system ones too: name, the
//                                                    row count stored in its definition, rows read
//
// Exit 0 on success, 1 on a reading error (message on stderr), 2 on bad usage.
import { readFileSync, writeFileSync, mkdirSync } from "node:fs";
import { join } from "node:path";
import MDBReader from "mdb-reader";

// Exact decimal digits of a finite, non-zero double: returns {digits, exp10}
// with value = 0.digits * 10^exp10. Doubles are dyadic rationals, so the
// expansion terminates; BigInt keeps it exact.
function exactDecimal(x) {
    const buf = new DataView(new ArrayBuffer(8));
    buf.setFloat64(0, Math.abs(x));
    const hi = buf.getUint32(0);
    const lo = buf.getUint32(4);
    const biasedExp = (hi >>> 20) & 0x7ff;
    let mant = (BigInt(hi & 0xfffff) << 32n) | BigInt(lo);
    let e2;
    if (biasedExp === 0) {
        e2 = -1074;
    } else {
        mant |= 1n << 52n;
        e2 = biasedExp - 1075;
    }
    let intDigits;
    let fracLen = 0;
    if (e2 >= 0) {
        intDigits = (mant << BigInt(e2)).toString();
    } else {
        // mant / 2^-e2 = mant * 5^-e2 / 10^-e2
        intDigits = (mant * 5n ** BigInt(-e2)).toString();
        fracLen = -e2;
    }
    // value = intDigits * 10^-fracLen
    let digits = intDigits.replace(/0+$/, "");
    const stripped = intDigits.length - digits.length;
    const exp10 = intDigits.length - fracLen;
    void stripped;
    return { digits, exp10 };
}

// Rounds a digit string to n significant digits, half to even on exact ties
// (glibc printf's behaviour). Returns {digits, exp10} (exp10 may grow by one).
function roundDigits(digits, exp10, n) {
    if (digits.length <= n) return { digits: digits.padEnd(n, "0"), exp10 };
    const head = digits.slice(0, n);
    const next = digits.charCodeAt(n) - 48;
    const restNonZero = /[1-9]/.test(digits.slice(n + 1));
    let up = next > 5 || (next === 5 && (restNonZero || (head.charCodeAt(n - 1) - 48) % 2 === 1));
    if (!up) return { digits: head, exp10 };
    let v = (BigInt(head) + 1n).toString();
    if (v.length > n) {
        v = v.slice(0, n);
        exp10 += 1;
    }
    return { digits: v, exp10 };
}

// C's printf("%.<prec>g", x).
export function formatG(x, prec) {
    if (Number.isNaN(x)) return "nan";
    if (!Number.isFinite(x)) return x < 0 ? "-inf" : "inf";
    const sign = x < 0 || Object.is(x, -0) ? "-" : "";
    if (x === 0) return sign + "0";
    const p = prec === 0 ? 1 : prec;
    const ex = exactDecimal(x);
    const r = roundDigits(ex.digits, ex.exp10, p);
    const X = r.exp10 - 1; // exponent of the first digit
    let out;
    if (X < -4 || X >= p) {
        let mant = r.digits[0];
        const frac = r.digits.slice(1).replace(/0+$/, "");
        if (frac) mant += "." + frac;
        const ae = Math.abs(X);
        out = mant + "e" + (X < 0 ? "-" : "+") + (ae < 10 ? "0" + ae : String(ae));
    } else if (X >= 0) {
        const ip = r.digits.slice(0, X + 1);
        const frac = r.digits.slice(X + 1).replace(/0+$/, "");
        out = frac ? ip + "." + frac : ip;
    } else {
        const frac = ("0".repeat(-X - 1) + r.digits).replace(/0+$/, "");
        out = "0." + frac;
    }
    return sign + out;
}

function pad(n, w) {
    return String(n).padStart(w, "0");
}

// Days since 1970-01-01 -> proleptic Gregorian [y, m, d] (era-based day counting).
function civilFromDays(z) {
    z += 719468;
    const era = Math.floor(z / 146097);
    const doe = z - era * 146097;
    const yoe = Math.floor((doe - Math.floor(doe / 1460) + Math.floor(doe / 36524) - Math.floor(doe / 146096)) / 365);
    const doy = doe - (365 * yoe + Math.floor(yoe / 4) - Math.floor(yoe / 100));
    const mp = Math.floor((5 * doy + 2) / 153);
    const d = doy - Math.floor((153 * mp + 2) / 5) + 1;
    const m = mp < 10 ? mp + 3 : mp - 9;
    return [era * 400 + yoe + (m <= 2 ? 1 : 0), m, d];
}

// mdb-reader maps the stored day count linearly onto a JS Date, which is right
// from 1899-12-30 on but mirrors the time of day before it: the stored value is
// a signed whole day plus an unsigned fraction of a day. Recover the stored
// number and read it that way.
function formatDate(date) {
    const td = date.getTime() / 86400000 + 25569;
    let day = Math.trunc(td);
    let secs = Math.floor(Math.abs(td - day) * 86400 + 0.5);
    if (secs >= 86400) {
        secs -= 86400;
        day += 1;
    }
    const [y, m, d] = civilFromDays(day - 25569);
    return (
        pad(y, 4) + "-" + pad(m, 2) + "-" + pad(d, 2) + " " +
        pad(Math.floor(secs / 3600), 2) + ":" + pad(Math.floor(secs / 60) % 60, 2) + ":" + pad(secs % 60, 2)
    );
}

function quote(s) {
    return '"' + s.replace(/"/g, '""') + '"';
}

function formatValue(v, type) {
    if (v === null || v === undefined) return "";
    switch (type) {
        case "boolean":
            return v ? "1" : "0";
        case "byte":
        case "integer":
        case "long":
        case "bigint":
            return String(v);
        case "currency":
        case "numeric":
            return v;
        case "float":
            return formatG(v, 8);
        case "double":
            return formatG(v, 16);
        case "datetime":
            return quote(formatDate(v));
        case "text":
        case "memo":
            return quote(v);
        case "binary":
        case "ole":
            return quote(Buffer.from(v).toString("hex").toUpperCase());
        case "repid":
            return quote("{" + v.toUpperCase() + "}");
        default:
            return quote(String(v));
    }
}

export function tableToCsv(table, delimiter) {
    const cols = table.getColumns();
    const lines = [cols.map((c) => c.name).join(delimiter)];
    for (const row of table.getData()) {
        lines.push(cols.map((c) => formatValue(row[c.name], c.type)).join(delimiter));
    }
    return lines.join("\n") + "\n";
}

function mangle(name) {
    return name.replace(/[^A-Za-z0-9._-]/g, "_");
}

function main(argv) {
    const args = [];
    let password;
    let tsv = false;
    let allDir = null;
    let listOnly = false;
    let countsOnly = false;
    for (let i = 0; i < argv.length; i++) {
        const a = argv[i];
        if (a === "--password") password = argv[++i];
        else if (a === "--tsv") tsv = true;
        else if (a === "--all") allDir = argv[++i];
        else if (a === "--tables") listOnly = true;
        else if (a === "--counts") countsOnly = true;
        else args.push(a);
    }
    if (args.length < 1 || (!allDir && !listOnly && !countsOnly && args.length !== 2) || allDir === undefined) {
        process.stderr.write("usage: mdbreader-export.mjs FILE (TABLE | --all DIR | --tables | --counts) [--tsv] [--password P]\n");
        return 2;
    }
    const reader = new MDBReader(readFileSync(args[0]), password === undefined ? undefined : { password });
    const names = reader.getTableNames({ normalTables: true, systemTables: false, linkedTables: false });
    if (countsOnly) {
        const all = reader.getTableNames({ normalTables: true, systemTables: true, linkedTables: false });
        for (const name of all) {
            // Some system tables hold column types mdb-reader cannot decode: "?" for those.
            let stored = "?";
            let read = "?";
            try {
                const table = reader.getTable(name);
                stored = table.rowCount;
                read = table.getData().length;
            } catch {}
            process.stdout.write(`${name}\t${stored}\t${read}\n`);
        }
        return 0;
    }
    if (listOnly) {
        process.stdout.write(names.map((n) => n + "\n").join(""));
        return 0;
    }
    const delimiter = tsv ? "\t" : ",";
    if (allDir) {
        mkdirSync(allDir, { recursive: true });
        const index = ["#\ttable\trows\tcsv"];
        names.forEach((name, i) => {
            const file = pad(i + 1, 2) + "-" + mangle(name) + ".csv";
            const table = reader.getTable(name);
            writeFileSync(join(allDir, file), tableToCsv(table, delimiter));
            index.push([i + 1, name, table.rowCount, file].join("\t"));
        });
        writeFileSync(join(allDir, "tables.tsv"), index.join("\n") + "\n");
        return 0;
    }
    process.stdout.write(tableToCsv(reader.getTable(args[1]), delimiter));
    return 0;
}

if (import.meta.url === `file://${process.argv[1]}`) {
    try {
        process.exitCode = main(process.argv.slice(2));
    } catch (e) {
        process.stderr.write(`mdbreader-export: ${e && e.message ? e.message : e}\n`);
        process.exitCode = 1;
    }
}
