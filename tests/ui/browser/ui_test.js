// Drives iecx ui in headless Chromium against a simulated IED: the SCL file source with a GOOSE
// subscription, then the device source with reports. Screenshots of each view go to the artefact
// folder, with the measured figures in measurements.json.
'use strict';
const { chromium } = require('playwright-core');
const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');

const [iecx, station, artefacts] = process.argv.slice(2);
if (!iecx || !station || !artefacts) {
  console.error('usage: ui_test.js <iecx> <station.scd> <artefact-dir>');
  process.exit(2);
}
fs.mkdirSync(artefacts, { recursive: true });
const children = [];
// The simulated IED and the server end with this script, however it ends.
process.on('exit', () => { for (const c of children) c.kill('SIGKILL'); });
process.on('uncaughtException', (e) => { console.error(e); process.exit(1); });
const measured = {};

function start(args, pattern) {
  const child = spawn(iecx, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  children.push(child);
  let out = '';
  child.stderr.on('data', (d) => process.stderr.write('[' + args[0] + '] ' + d));
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(args[0] + ' printed nothing matching ' + pattern)), 15000);
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(pattern);
      if (m) { clearTimeout(timer); resolve(m); }
    });
    child.on('exit', (code) => reject(new Error(args[0] + ' exited with ' + code)));
  });
}

function check(condition, message) {
  if (!condition) throw new Error('check failed: ' + message);
  console.log('ok - ' + message);
}

async function shot(page, name) {
  await page.screenshot({ path: path.join(artefacts, name + '.png'), fullPage: true });
}

async function view(page, name) {
  await page.click('nav button[data-view="' + name + '"]');
}

// Waits until the select shows an option whose label contains `text`, then picks it.
async function choose(page, unitId, text) {
  const sel = '#settings select[data-unit="' + unitId + '"]';
  await page.waitForFunction(([s, t]) => {
    const e = document.querySelector(s);
    return e && [...e.options].some((o) => o.textContent.includes(t));
  }, [sel, text], { timeout: 20000 });
  const value = await page.$eval(sel, (e, t) => [...e.options].find((o) => o.textContent.includes(t)).value, text);
  if (await page.$eval(sel, (e) => e.value) === value) return; // the model chose it already
  const version = await page.evaluate(() => document.body.dataset.modelVersion);
  await page.selectOption(sel, value);
  await page.waitForFunction((v) => document.body.dataset.modelVersion !== v, version);
  await page.waitForFunction(([s, v]) => document.querySelector(s) && document.querySelector(s).value === v, [sel, value]);
}

async function rowsSnapshot(page) {
  return page.$$eval('#values tbody tr', (trs) => trs.map((tr) => ({
    path: tr.dataset.path, value: tr.children[1].textContent, time: tr.children[2].textContent,
    n: parseInt(tr.children[4].textContent || '0', 10) })));
}

async function main() {
  const sim = await start(['simulate', station, '--ied', 'PROT1', '--port', '0', '--bind', '127.0.0.1',
    '--iface', 'lo', '--change-ms', '300'], /on 127\.0\.0\.1:(\d+)/);
  const simPort = parseInt(sim[1], 10);
  const ui = await start(['ui', '--port', '0'], /(http:\/\/\S+)/);
  const url = ui[1];
  check(/^http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32}$/.test(url), 'iecx ui prints a loopback address with the token');

  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  }); // launch() gives the browser a fresh profile folder of its own
  try {
    const page = await browser.newPage({ viewport: { width: 1400, height: 900 } });
    page.on('pageerror', (e) => { throw e; });
    const t0 = Date.now();
    await page.goto(url);
    await page.waitForSelector('#settings select');
    measured.firstPageLoadMs = Date.now() - t0;
    // Again with the browser started: what a user waits for on opening the address.
    const t1 = Date.now();
    await page.reload();
    await page.waitForSelector('#settings select');
    measured.pageLoadMs = Date.now() - t1;
    check(true, 'page loaded and rendered the model in ' + measured.pageLoadMs + ' ms (first load ' + measured.firstPageLoadMs + ' ms)');

    // Without the token nothing changes.
    const refused = await page.evaluate(() => fetch('/api/acquisition/start', { method: 'POST' }).then((r) => r.status));
    check(refused === 403, 'a request without the token is refused');

    // ---- SCL file source, GOOSE ----
    await page.setInputFiles('#scl-file', station);
    await page.waitForFunction(() => /station/.test(document.querySelector('#settings [data-unit="FileName"]').textContent));
    // Quality and time attributes join the tree too.
    for (const type of ['BIT_STRING', 'UTC_TIME']) {
      const stored = page.waitForResponse((r) => r.url().endsWith('/api/filter') && r.request().method() === 'POST');
      await page.check('#type-filter input[value="' + type + '"]');
      await stored;
    }
    await page.waitForFunction(() => document.querySelector('#type-filter input[value="UTC_TIME"]').checked);
    await choose(page, 'TransferProtocol', 'GOOSE');
    await choose(page, 'Device', 'PROT1');
    await choose(page, 'Element', 'gcbPos');
    await page.waitForFunction(() => document.querySelectorAll('#tree input[type=checkbox]').length > 2);
    const params = await page.$$eval('#params .row', (r) => r.map((x) => x.textContent));
    check(params.some((t) => t.includes('01-0C-CD')), 'the parameters show the GOOSE destination MAC');

    // Uncheck everything, then check two leaves.
    // A locator, not an element handle: the tree may be drawn again between finding the box and
    // clicking it.
    const top = page.locator('#tree > ul > li > label > input').first();
    if (await top.evaluate((e) => e.checked || e.indeterminate)) {
      const v = await page.evaluate(() => document.body.dataset.modelVersion);
      await top.click();
      await page.waitForFunction((x) => document.body.dataset.modelVersion !== x, v);
    }
    const leaves = await page.$$eval('#tree li', (lis) => lis.filter((li) => !li.querySelector('ul') && li.querySelector('.toggle').textContent === '')
      .map((li) => li.querySelector('input').dataset.path));
    check(leaves.length >= 2, 'the tree shows the data set leaves (' + leaves.length + ')');
    // The switch's position is one whole data object in the data set, time stamp included.
    const wanted = leaves.filter((l) => l.includes('Q0CSWI1')).slice(0, 2);
    if (wanted.length !== 2) await shot(page, 'debug');
    check(wanted.length === 2, 'two leaves of Q0CSWI1.Pos to check: ' + wanted.join(', '));
    for (const leaf of wanted) {
      const v = await page.evaluate(() => document.body.dataset.modelVersion);
      await page.click('#tree input[data-path="' + leaf + '"]');
      await page.waitForFunction((x) => document.body.dataset.modelVersion !== x, v);
    }
    const mixed = await page.$eval('#tree > ul > li > label > input', (e) => e.indeterminate);
    check(mixed, 'the top node is mixed with two of its leaves checked');
    await shot(page, 'source-goose');

    // ---- capture ----
    await view(page, 'capture');
    await page.selectOption('#cap-if', 'lo');
    await page.click('#cap-start');
    await page.waitForFunction(() => document.querySelector('#cap-state').textContent.includes('lo'));
    await page.waitForTimeout(1200);
    await page.click('#cap-stop');
    await page.waitForSelector('#cap-download');
    const pcap = await page.evaluate(() => fetch(document.querySelector('#cap-download').href).then((r) => r.arrayBuffer()).then((b) => [...new Uint8Array(b.slice(0, 4))]));
    check(pcap.join(',') === [0x4d, 0x3c, 0xb2, 0xa1].join(',') || pcap.join(',') === [0xa1, 0xb2, 0x3c, 0x4d].join(','), 'the capture downloads as a nanosecond PCAP file');
    await shot(page, 'capture');

    // ---- CID ----
    await view(page, 'cid');
    await page.click('#cid-goose button[type=submit]');
    await page.waitForSelector('#cid-goose a.download');
    const cid = await page.evaluate(() => fetch(document.querySelector('#cid-goose a.download').href).then((r) => r.text()));
    check(cid.includes('gcbTestSet') && cid.includes('<SCL'), 'the GOOSE form writes a CID file that downloads');
    await page.click('#cid-sv button[type=submit]');
    await page.waitForSelector('#cid-sv a.download');
    await shot(page, 'cid');

    // ---- GOOSE values ----
    await view(page, 'source');
    await view(page, 'values');
    await page.click('#acq-start');
    await page.waitForFunction(() => document.querySelectorAll('#values tbody tr').length === 2);
    await page.waitForFunction(() => [...document.querySelectorAll('#values tbody tr')].every((tr) => tr.children[2].textContent !== ''), null, { timeout: 20000 }).catch(async (e) => { await shot(page, 'debug'); throw e; });
    const first = await rowsSnapshot(page);
    check(first.every((r) => /^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$/.test(r.time)), 'both values carry a time stamp');
    await page.waitForFunction((before) => {
      const now = [...document.querySelectorAll('#values tbody tr')].map((tr) => tr.children[1].textContent + tr.children[2].textContent);
      return now.some((x, i) => x !== before[i]);
    }, first.map((r) => r.value + r.time), { timeout: 20000 });
    const second = await rowsSnapshot(page);
    check(second.some((r, i) => r.time !== first[i].time), 'values and time stamps change as the IED publishes');
    // Latency from the device's time stamp to the page, over the next updates.
    const latencies = await page.evaluate(() => new Promise((resolve) => {
      const out = [];
      const source = new EventSource('/api/events?token=' + new URLSearchParams(location.search).get('token'));
      source.addEventListener('values', (e) => {
        const now = Date.now();
        for (const v of JSON.parse(e.data).values) if (v.t && v.n > 1) out.push(now - v.t);
        if (out.length >= 10) { source.close(); resolve(out); }
      });
      setTimeout(() => { source.close(); resolve(out); }, 10000);
    }));
    latencies.sort((a, b) => a - b);
    measured.gooseToPageMs = { median: latencies[Math.floor(latencies.length / 2)], max: latencies[latencies.length - 1], samples: latencies.length };
    check(latencies.length > 0, 'GOOSE change to page: median ' + measured.gooseToPageMs.median + ' ms');
    const stNum = await page.$eval('#stnum', (e) => e.textContent);
    check(/^\d+$/.test(stNum) && stNum !== '0', 'the GOOSE stNum is shown (' + stNum + ')');
    const counters = await page.$eval('#messages', (e) => parseInt(e.textContent, 10));
    check(counters > 0, 'the message counter counts (' + counters + ')');
    await shot(page, 'values-goose');
    await page.click('#acq-stop');
    await page.waitForFunction(() => document.querySelector('#acq-state').dataset.running === 'false');

    // ---- device source, reports ----
    await view(page, 'source');
    await choose(page, 'DataSource', 'Устройство IED');
    await page.fill('#ied-address', '127.0.0.1');
    await page.fill('#ied-port', String(simPort));
    await page.click('#ied-connect');
    await choose(page, 'TransferProtocol', 'MMS');
    await page.waitForFunction(() => {
      const e = document.querySelector('#settings select[data-unit="Element"]');
      return e && [...e.options].some((o) => o.value !== '');
    }, null, { timeout: 20000 });
    const rcb = 'urcbPos01';
    await choose(page, 'Element', rcb);
    await page.waitForFunction(() => document.querySelectorAll('#tree input[type=checkbox]').length > 1, null, { timeout: 20000 });
    await shot(page, 'source-device');
    await view(page, 'values');
    await page.click('#acq-start');
    await page.waitForFunction(() => !document.querySelector('#error').hidden ||
      [...document.querySelectorAll('#values tbody tr')].some((tr) => parseInt(tr.children[4].textContent || '0', 10) >= 2), null, { timeout: 30000 });
    const refusal = await page.$eval('#error', (e) => e.hidden ? '' : e.textContent);
    check(refusal === '', 'the report acquisition starts' + (refusal ? ': ' + refusal : ''));
    check(true, 'reports of ' + rcb + ' arrive');
    await shot(page, 'values-reports');
    await page.click('#acq-stop');
  } finally {
    await browser.close();
  }
}

main().then(() => {
  fs.writeFileSync(path.join(artefacts, 'measurements.json'), JSON.stringify(measured, null, 2));
  console.log(JSON.stringify(measured));
}, (e) => {
  console.error(e);
  process.exitCode = 1;
}).finally(() => { for (const c of children) c.kill('SIGINT'); });
