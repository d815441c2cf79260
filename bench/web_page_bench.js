// The panel's page in headless Chromium against vx37d and vx37-sim on loopback: click to
// frame on the wire, first paint, page weight, and 50 pages open at once. Run by hand from
// the build folder, after the page test has installed playwright-core:
//
//   cd build && NODE_PATH=tests/web/node_modules VX37_SIM=tools/vx37-sim VX37D=tools/vx37d \
//     VX37_CHROMIUM=/usr/bin/chromium-headless-shell node ../bench/web_page_bench.js
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { rig, frames, until, openPanel, control } = require(
    path.join(__dirname, '..', 'tests', 'web', 'page_rig'));

const cleanups = [];
const context = { after: (fn) => cleanups.push(fn) };
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const percentile = (values, p) => {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted[Math.min(sorted.length - 1, Math.floor(p * sorted.length))];
};
const ms = (value) => `${value.toFixed(2)} ms`;

// Resident set and CPU seconds of a process, from /proc.
function processFigures(pid) {
    const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
    return { rssKiB: Number(status.match(/VmRSS:\s+(\d+)/)[1]),
        cpuSeconds: (Number(stat[11]) + Number(stat[12])) / 100 };
}

// The time of each click on the page (the browser's event time, on this process's clock)
// to the arrival of its frame in the simulator's transcript.
async function clickToWire(page, wire, count) {
    await page.evaluate(() => {
        window.clicks = [];
        document.querySelector('[data-control="Command17"]').addEventListener('click',
            (event) => window.clicks.push(performance.timeOrigin + event.timeStamp), true);
    });
    const box = await control(page, 'Command17').boundingBox();
    for (let i = 0; i < count; ++i) {
        await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
        await until(() => frames(wire, 'C00').length === i + 1, 'C00');
        await sleep(300);
    }
    const clicks = await page.evaluate(() => window.clicks);
    return frames(wire, 'C00').map((frame, i) => performance.timeOrigin + frame.at - clicks[i]);
}

async function main() {
    const { url, wire, browser, vx37d } = await rig(context);
    const page = await openPanel(browser, url);
    const latencies = await clickToWire(page, wire, 30);
    console.log(`click to frame on the wire: p50 ${ms(percentile(latencies, 0.5))}, ` +
        `p90 ${ms(percentile(latencies, 0.9))} (${latencies.length} clicks)`);

    const fresh = await browser.newPage({ viewport: { width: 700, height: 640 } });
    await fresh.goto(url);
    await fresh.waitForFunction(() => document.getElementById('Form1').dataset.session === 'open');
    const load = await fresh.evaluate(() => {
        const paint = Object.fromEntries(performance.getEntriesByType('paint')
            .map((entry) => [entry.name, entry.startTime]));
        const bytes = [...performance.getEntriesByType('navigation'),
            ...performance.getEntriesByType('resource')]
            .reduce((sum, entry) => sum + entry.encodedBodySize, 0);
        return { paint, bytes, ready: performance.now() };
    });
    console.log(`first paint ${ms(load.paint['first-paint'])}, first contentful paint ` +
        `${ms(load.paint['first-contentful-paint'])}, session drawn ${ms(load.ready)}; ` +
        `page weight with fonts ${(load.bytes / 1024).toFixed(1)} KiB`);
    await fresh.close();

    // 50 pages open: a change in each session painted, vx37d's memory and idle CPU.
    const pages = [page];
    while (pages.length < 50)
        pages.push(await openPanel(browser, url));
    await sleep(2000);
    const idleStart = processFigures(vx37d.pid);
    await sleep(10000);
    const idleEnd = processFigures(vx37d.pid);
    console.log(`50 pages: vx37d resident ${(idleEnd.rssKiB / 1024).toFixed(1)} MiB, idle CPU ` +
        `${((idleEnd.cpuSeconds - idleStart.cpuSeconds) / 10 * 100).toFixed(1)} % over 10 s`);
    // Each page types into its entry box at once; the time until every page shows its
    // session's answer, the form vx37d sends back.
    const typed = await Promise.all(pages.map((p, i) => p.evaluate((text) => {
        const entry = document.querySelector('[data-control="Text1"]');
        return new Promise((resolve) => {
            const start = performance.now();
            const button = document.querySelector('[data-control="Command34"]');
            new MutationObserver(() => resolve(performance.now() - start))
                .observe(document.getElementById('Form1'), { attributes: true, subtree: true,
                    childList: true, characterData: true, attributeFilter: ['style', 'class'] });
            entry.value = text;
            entry.dispatchEvent(new Event('input'));
            void button;
        });
    }, `P${i}`)));
    console.log(`50 pages: a change in every session drawn back in p50 ` +
        `${ms(percentile(typed, 0.5))}, max ${ms(Math.max(...typed))}`);
    const after = processFigures(vx37d.pid);
    console.log(`vx37d resident after: ${(after.rssKiB / 1024).toFixed(1)} MiB`);
}

main().catch((error) => {
    console.error(error);
    process.exitCode = 1;
}).finally(async () => {
    for (const fn of cleanups.reverse())
        await fn();
});
