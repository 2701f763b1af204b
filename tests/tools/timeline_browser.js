// Opens a vantrel-timeline page in headless Chromium (the system's
// /usr/bin/chromium, driven by playwright-core; nothing is downloaded).
//   node timeline_browser.js TOOLS_DIR check PAGE LANES SCOPES
//     the page loads without a console error or a fetch, shows LANES lane
//     names and SCOPES bars; the wheel zooms and a drag pans the visible
//     range; hovering a bar shows its details. Prints "ok render_ms=N".
//   node timeline_browser.js TOOLS_DIR screenshot PAGE PNG
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');

const [toolsDir, mode, page, ...rest] = process.argv.slice(2);
const {chromium} = require(path.resolve(toolsDir, 'node_modules', 'playwright-core'));

const fail = (what) => { console.log('failed: ' + what); process.exit(1); };

async function check(tab, errors, renderMs) {
  const lanes = await tab.locator('#names text').count(), bars = await tab.locator('#view rect').count();
  if (lanes + ' ' + bars !== rest.join(' ')) fail('lanes and bars: ' + lanes + ' ' + bars);
  const range = () => tab.evaluate(() => ['from', 'to'].map((id) => +document.getElementById(id).value));
  const box = await tab.locator('#chart').boundingBox();
  const all = await range();
  await tab.mouse.move(box.x + 700, box.y + 60);
  await tab.mouse.wheel(0, -300);
  const zoomed = await range();
  await tab.mouse.down(), await tab.mouse.move(box.x + 500, box.y + 60, {steps: 4}), await tab.mouse.up();
  const panned = await range();
  const width = (r) => r[1] - r[0];
  if (width(zoomed) >= width(all)) fail('the wheel did not zoom: ' + all + ' to ' + zoomed);
  if (panned[0] === zoomed[0]) fail('the drag did not pan: ' + zoomed);
  if (Math.abs(width(panned) - width(zoomed)) > 1e-3 * width(zoomed)) fail('the drag zoomed: ' + panned);
  await tab.click('#reset');
  const bar = tab.locator('#view rect').first();
  await bar.hover({force: true});
  const [detail, title] = [await tab.locator('#detail').textContent(),
                           await bar.evaluate((r) => r.firstChild.textContent.split('\n')[0])];
  if (!detail.startsWith(title)) fail('hover shows "' + detail + '", expected "' + title + '"');
  if (errors.length) fail('console: ' + errors.join('; '));
  console.log('ok render_ms=' + renderMs);
}

async function main() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium', headless: true, viewport: {width: 1200, height: 640},
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const [tab, errors] = [context.pages()[0] || await context.newPage(), []];
    tab.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
    tab.on('pageerror', (error) => errors.push(String(error)));
    tab.on('request', (r) => r.url().startsWith('file:') || errors.push('fetched ' + r.url()));
    const started = Date.now();
    await tab.goto('file://' + path.resolve(page), {waitUntil: 'load'});
    await tab.evaluate(() => new Promise((done) => requestAnimationFrame(() => done())));
    if (mode === 'screenshot') return await tab.screenshot({path: rest[0]});
    await check(tab, errors, Date.now() - started);
  } finally {
    await context.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
}

main().catch((error) => fail(error.stack || String(error)));
