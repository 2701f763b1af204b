// Opens a vantrel-timeline page in headless Chromium (the system's
// /usr/bin/chromium, driven by playwright-core; nothing is downloaded).
//   node timeline_browser.js TOOLS_DIR check PAGE LANES SCOPES: the page loads
//     without a console error, shows LANES lanes and SCOPES bars, the wheel
//     zooms, a drag pans, hovering a bar shows its details; "ok render_ms=N".
//   node timeline_browser.js TOOLS_DIR screenshot PAGE PNG
'use strict';
const path = require('path');

const [toolsDir, mode, page, ...rest] = process.argv.slice(2);
const {chromium} = require(path.resolve(toolsDir, 'node_modules', 'playwright-core'));

const fail = (what) => { console.log('failed: ' + what); process.exit(1); };

async function main() {
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const tab = await browser.newPage({viewport: {width: 1200, height: 640}});
    const errors = [];
    tab.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
    tab.on('pageerror', (error) => errors.push(String(error)));
    tab.on('request', (r) => { if (!r.url().startsWith('file:')) errors.push('fetched ' + r.url()); });
    await tab.goto('file://' + path.resolve(page), {waitUntil: 'load'});
    // The page's own clock, from its navigation to the first frame after the
    // load: what a reader waits, without the driver's time.
    const renderMs = await tab.evaluate(() => new Promise((done) =>
      requestAnimationFrame(() => done(Math.round(performance.now())))));
    if (mode === 'screenshot') return await tab.screenshot({path: rest[0]});
    const counts = [await tab.locator('#names text').count(),
                    await tab.evaluate(() => window.timelineBars.count())].join(' ');
    if (counts !== rest.join(' ')) fail('lanes and bars ' + counts + ', expected ' + rest.join(' '));
    const range = () => tab.evaluate(() => [document.getElementById('from').value,
                                            document.getElementById('to').value].join('-'));
    const all = await range();
    const box = await tab.locator('#chart').boundingBox();
    await tab.mouse.move(box.x + 700, box.y + 60);
    await tab.mouse.wheel(0, -300);
    const zoomed = await range();
    if (zoomed === all) fail('the wheel did not zoom: ' + all);
    await tab.mouse.move(box.x + 700, box.y + 60);
    await tab.mouse.down();
    await tab.mouse.move(box.x + 500, box.y + 60, {steps: 4}).then(() => tab.mouse.up());
    const panned = await range();
    if (panned === zoomed) fail('the drag did not pan: ' + zoomed);
    await tab.click('#reset');
    // The widest bar, hovered at its middle, shows its own first line.
    const [bar, title] = await tab.evaluate(() => {
      const widest = window.timelineBars.widest();
      return [window.timelineBars.box(widest), window.timelineBars.title(widest).split('\n')[0]];
    });
    await tab.mouse.move(bar.x + bar.width / 2, bar.y + bar.height / 2);
    const detail = await tab.locator('#detail').textContent();
    if (!detail.startsWith(title)) fail('hover shows "' + detail + '", expected "' + title + '"');
    if (errors.length) fail('console: ' + errors.join('; '));
    console.log('ok render_ms=' + renderMs);
  } finally {
    await browser.close();
  }
}

main().catch((error) => fail(error.stack || String(error)));
