// tav serve in headless Chromium: the pages a servo engineer uses, driven
// through the user interface against servo-sim on a pseudo-terminal.
// Screenshots of each page go to BUILD/screenshots/.
//   node serve_browser.mjs SOURCE_DIR BUILD_DIR
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [src, build] = process.argv.slice(2);
const require = createRequire(path.join(src, 'package.json'));
const { chromium } = require('playwright-core');
const shots = path.join(build, 'screenshots');
fs.mkdirSync(shots, { recursive: true });
for (const f of fs.readdirSync(shots)) if (f.startsWith('failed-')) fs.rmSync(path.join(shots, f));

// A temporary installation whose COM1 is servo-sim, and tav serve on it.
async function startStack(simArgs = ['--no-wire-time']) {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'tav-browser-'));
  fs.cpSync(path.join(build, 'share/tav'), home, { recursive: true });
  fs.rmSync(path.join(home, 'sim-state.json'), { force: true });
  fs.writeFileSync(path.join(home, 'wyn.ini'),
    `[Ports]\r\nCOM1=${home}/ttySIM\r\n[Installations]\r\nOperator=${path.join(build, 'share/tav-operator')}\r\n`);
  fs.writeFileSync(path.join(home, 'state.json'), '{}');
  const sim = spawn(path.join(build, 'bin/servo-sim'),
    ['--state', path.join(home, 'state.json'), '--pty', path.join(home, 'ttySIM'), '--baud', '38400', ...simArgs]);
  await new Promise((resolve, reject) => {
    let out = '';
    sim.stdout.on('data', (d) => { out += d; if (out.includes('servo-sim ready')) resolve(); });
    sim.on('exit', () => reject(new Error(`servo-sim ended: ${out}`)));
  });
  const tav = spawn(path.join(build, 'bin/tav'), ['--lang', 'en', '--home', home, 'serve', '--port', '0'], { cwd: home });
  const url = await new Promise((resolve, reject) => {
    let out = '';
    tav.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+/);
      if (m) resolve(m[0]);
    });
    tav.stderr.on('data', (d) => { out += d; });
    tav.on('exit', () => reject(new Error(`tav serve ended: ${out}`)));
  });
  return {
    url,
    stop() { tav.kill('SIGTERM'); sim.kill('SIGTERM'); setTimeout(() => fs.rmSync(home, { recursive: true, force: true }), 500); },
  };
}

const results = [];
// One checked step; a failing one leaves a screenshot of the page it failed on.
let current = null;  // the page a failing step photographs
async function step(name, fn) {
  const page = current;
  try {
    await fn();
    results.push([name, true]);
    console.log(`ok   ${name}`);
  } catch (e) {
    results.push([name, false]);
    console.log(`FAIL ${name}: ${e.message}`);
    if (page) await page.screenshot({ path: path.join(shots, `failed-${results.length}.png`) }).catch(() => {});
  }
}
function expect(cond, what) { if (!cond) throw new Error(what); }

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox'] });
const stacks = [];
try {
  const stack = await startStack();
  stacks.push(stack);
  const page = await browser.newPage({ viewport: { width: 1280, height: 860 } });
  current = page;
  const message = () => page.textContent('#message');

  await step('the line page lists the stations', async () => {
    await page.goto(stack.url);
    await page.waitForSelector('#stations tr[data-entry="2"]');
    expect(page.url().endsWith('/'), 'the token left the address bar');
    await page.click('#stations tr[data-entry="1"] button:nth-of-type(2)');
    await page.waitForSelector('#identity table');
    await page.screenshot({ path: path.join(shots, 'line.png') });
  });

  await step('read the extended parameters', async () => {
    await page.goto(`${new URL(stack.url).origin}/#ext`);
    await page.click('#ext-read');
    await page.waitForSelector('#ext-value-3');
    expect(await page.inputValue('#ext-value-3') === '3', 'parameter 3 reads 3');
  });

  await step('an out-of-range value is refused', async () => {
    await page.fill('#ext-value-8', '-5');
    expect(await page.getAttribute('#ext-value-8', 'class').then((c) => c.includes('invalid')), 'marked while typing');
    await page.press('#ext-value-8', 'Enter');
    await page.waitForFunction(() => document.querySelector('#message').textContent.includes('-15'));
    expect((await message()).includes('parameter 8'), 'the refusal names the parameter');
    await page.screenshot({ path: path.join(shots, 'ext-refused.png') });
  });

  await step('change, write, compare shows no difference', async () => {
    await page.fill('#ext-value-8', '8.0');
    await page.fill('#ext-value-3', '4500');
    await page.press('#ext-value-3', 'Enter');
    await page.waitForSelector('#ext-row-3.changed');
    await page.click('#ext-write');
    await page.waitForFunction(() => document.querySelector('#message').textContent.includes('done'));
    await page.click('#ext-compare');
    await page.waitForFunction(() => document.querySelector('#message').textContent.includes('No difference'));
    await page.screenshot({ path: path.join(shots, 'ext.png') });
  });

  await step('the servo operator\'s standard parameters', async () => {
    await page.click('a[data-page="para"]');
    await page.click('#para-read');
    await page.waitForSelector('#para-value-4');
    // The operator's own rows, not the amplifiers' of the same file number.
    const row = await page.textContent('tr:has(#para-value-1)');
    expect(row.includes('制御モード選択'), `parameter 1 is the operator's control mode: ${row}`);
    await page.screenshot({ path: path.join(shots, 'para.png') });
  });

  await step('edit and write a positioning point', async () => {
    await page.click('a[data-page="pos"]');
    await page.click('#pos-read');
    await page.waitForSelector('#pos-5-stop_pos');
    await page.fill('#pos-5-stop_pos', '1234');
    await page.press('#pos-5-stop_pos', 'Enter');
    await page.waitForSelector('#pos-table tr.changed[data-no="5"]');
    // A slow point, so that the run below lasts a couple of seconds.
    await page.fill('#pos-5-speed', '1');
    await page.press('#pos-5-speed', 'Enter');
    await page.waitForFunction(() => document.querySelector('#pos-5-speed')?.value === '1');
    await page.click('#pos-write');
    await page.waitForFunction(() => document.querySelector('#message').textContent.includes('done'));
    await page.click('#pos-compare');
    await page.waitForFunction(() => document.querySelector('#message').textContent.includes('No difference'));
    await page.screenshot({ path: path.join(shots, 'pos.png') });
  });

  await step('a second browser sees the line read-only', async () => {
    const other = await browser.newContext();
    const p3 = await other.newPage();
    await p3.goto(stack.url);
    await p3.goto(`${new URL(stack.url).origin}/#ext`);
    await p3.waitForSelector('#readonly:not([hidden])');
    expect(await p3.isDisabled('#ext-read'), 'its actions are disabled');
    await p3.screenshot({ path: path.join(shots, 'read-only.png') });
    await other.close();
  });

  await step('the VV table of entry 2', async () => {
    await page.selectOption('#entry', '2');
    await page.click('a[data-page="vv"]');
    await page.click('#vv-read');
    await page.waitForSelector('#vv-1-accel');
    await page.screenshot({ path: path.join(shots, 'vv.png') });
    await page.selectOption('#entry', '');
  });

  await step('a run draws its chart while it runs', async () => {
    await page.click('a[data-page="run"]');
    await page.waitForSelector('#run-start');
    await page.click('#run-offline');
    await page.fill('#run-speed', '1');
    await page.click('#run-on');
    await page.waitForFunction(() => document.querySelector('#message').textContent.includes('done'));
    // Point 5 (written above) is 234 away from point 1: a move of about two seconds.
    await page.fill('#run-point', '1');
    await page.click('#run-start');
    await page.waitForFunction(() => document.querySelector('#run-figures').textContent.includes('arrived'), null, { timeout: 20000 });
    await page.fill('#run-point', '5');
    await page.click('#run-start');
    await page.waitForFunction(() => Number(document.querySelector('#run-samples').textContent) >= 8, null, { timeout: 20000 });
    const points = await page.evaluate(() => window.Chart.getChart('run-chart').data.datasets[0].data.length);
    expect(points >= 5, `the chart holds ${points} points`);
    await page.screenshot({ path: path.join(shots, 'run.png') });
    await page.click('#run-cancel');
    await page.click('#run-online');
    await page.waitForFunction(() => document.querySelector('#message').textContent.includes('done'));
  });

  await step('a whole-line backup and its restore plan', async () => {
    await page.click('a[data-page="backup"]');
    await page.fill('#backup-dir', 'browser-backup');
    await page.click('#backup-run');
    await page.waitForFunction(() => document.querySelector('#message').textContent.includes('files saved'), null, { timeout: 60000 });
    await page.click('#restore-plan-run');
    await page.waitForSelector('#restore-plan', { timeout: 60000 });
    await page.screenshot({ path: path.join(shots, 'backup.png') });
  });

  const slow = await startStack(['--turnaround-us', '100000']);
  stacks.push(slow);
  await step('Cancel during a transfer gives -31 and a usable line', async () => {
    const p2 = await browser.newPage({ viewport: { width: 1280, height: 600 } });
    current = p2;
    await p2.goto(slow.url);
    await p2.waitForSelector('#stations tr[data-entry="1"]');
    await p2.goto(`${new URL(slow.url).origin}/#ext`);
    await p2.click('#ext-read');
    await p2.waitForSelector('#busy:not([hidden])');
    await p2.waitForFunction(() => Number(document.querySelector('#progress').value) > 0, null, { timeout: 20000 });
    await p2.screenshot({ path: path.join(shots, 'progress.png') });
    await p2.click('#cancel');
    await p2.waitForFunction(() => document.querySelector('#message').textContent.includes('-31'), null, { timeout: 20000 });
    await p2.screenshot({ path: path.join(shots, 'cancelled.png') });
    await p2.click('a[data-page="line"]');
    await p2.click('#stations tr[data-entry="1"] button:nth-of-type(2)');
    await p2.waitForSelector('#identity table', { timeout: 20000 });
  });
} finally {
  await browser.close();
  for (const s of stacks) s.stop();
}

const failed = results.filter(([, ok]) => !ok).length;
console.log(`screenshots: ${fs.readdirSync(shots).filter((f) => f.endsWith('.png')).sort().join(' ')} in ${shots}`);
console.log(`${results.length - failed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
