// The peer of bench/calc_bench: HyperFormula computes the same workbook.
// Reads the workbook that calc_bench wrote (JSON: sheets of rows, formulas as
// "=..." texts). HyperFormula computes while it builds, so it builds twice:
// once with the values only (load) and once with the formulas too (load and
// compute); compute is the difference. Then one input changes (recompute).
// Prints one JSON object with the figures and a few computed cells to compare.
// (Adding the formulas to a built sheet one by one, even in a batch, takes
// HyperFormula minutes for this workbook, so that is not the route measured.)
// Usage: node hyperformula_calc.js WORKBOOK.json
'use strict';
const fs = require('fs');
const { HyperFormula } = require('hyperformula');

const book = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
const seconds = (start) => Number(process.hrtime.bigint() - start) / 1e9;

// Values only: the formulas' cells stay empty until the compute step.
const values = {};
for (const [name, rows] of Object.entries(book.sheets)) {
  values[name] = rows.map((row) => row.map((cell) => (typeof cell === 'string' && cell.startsWith('=') ? null : cell)));
}
const cpu = (since) => { const u = process.cpuUsage(since); return (u.user + u.system) / 1e6; };
let start = process.hrtime.bigint();
let startCpu = process.cpuUsage();
const hf = HyperFormula.buildFromSheets(values, { licenseKey: 'gpl-v3', useColumnIndex: true });
const load = seconds(start);
const loadCpu = cpu(startCpu);
const rssLoaded = process.resourceUsage().maxRSS;
hf.destroy();

start = process.hrtime.bigint();
startCpu = process.cpuUsage();
const full = HyperFormula.buildFromSheets(book.sheets, { licenseKey: 'gpl-v3', useColumnIndex: true });
const compute = seconds(start) - load;
const computeCpu = cpu(startCpu) - loadCpu;
const rssComputed = process.resourceUsage().maxRSS;

const [beforeSheet, beforeRow, beforeCol, beforeValue] = book.before;
full.setCellContents({ sheet: full.getSheetId(beforeSheet), row: beforeRow, col: beforeCol }, beforeValue);
const [sheetName, row, col] = book.change;
start = process.hrtime.bigint();
startCpu = process.cpuUsage();
full.setCellContents({ sheet: full.getSheetId(sheetName), row, col }, book.changeTo);
// Reading the probed cells is part of recomputing, in case a value is computed when it is read.
const probes = {};
for (const [name, r, c] of book.probes) {
  const v = full.getCellValue({ sheet: full.getSheetId(name), row: r, col: c });
  probes[`${name}!${r},${c}`] = typeof v === 'object' && v !== null ? String(v.value) : v;
}
const recompute = seconds(start);
const recomputeCpu = cpu(startCpu);
console.log(JSON.stringify({ load, loadCpu, compute, computeCpu, recompute, recomputeCpu, rssLoadedKiB: rssLoaded, rssComputedKiB: rssComputed, probes }));
