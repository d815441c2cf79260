// The panel's page in headless Chromium against vx37d and vx37-sim on loopback: click to
// frame on the wire, first paint, page weight, and 50 pages open at once. Run by hand from
// the build folder, after the page test has installed playwright-core:
//
//   cd build && NODE_PATH=tests/web/node_modules VX37_SIM=tools/vx37-sim VX37D=tools/vx37d \
//     VX37_CHROMIUM=/usr/bin/chromium-headless-shell \
//     node --experimental-websocket ../bench/web_page_bench.js
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
    const { url, wire, browser, vx37d } = await rig(context, {
        // 50 pages of one browser, all from one address: beyond the caps as they come.
        args: ['--poll', '1', '--max-connections', '1000', '--max-per-address', '1000'],
    });
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

    // 50 pages open, each also following /api/events: a reading's change (the power
    // state, after "ON" in one page) painted in every page, from the reply that changed it
    // on the wire; vx37d's memory and idle CPU meanwhile.
    const pages = [page];
    while (pages.length < 50) {
        const next = await browser.newPage({ viewport: { width: 700, height: 640 } });
        await next.goto(url);
        await next.waitForFunction(() => document.getElementById('Form1').dataset.session === 'open' ||
            !document.getElementById('gone').classList.contains('hidden'));
        pages.push(next);
    }
    const sessions = await Promise.all(pages.map((p) =>
        p.evaluate(() => document.getElementById('Form1').dataset.session === 'open')));
    // vx37d caps the event sockets as it caps the sessions: the pages it refuses are left out.
    const following = await Promise.all(pages.map((p) => p.evaluate(() => new Promise((resolve) => {
        window.reading = document.body.appendChild(document.createElement('pre'));
        window.powerPainted = 1; // not yet: the readings as they are come first
        const events = new WebSocket(`ws://${location.host}/api/events`);
        events.onopen = () => setTimeout(() => resolve(events.readyState === WebSocket.OPEN), 500);
        events.onclose = () => resolve(false);
        events.onmessage = (message) => {
            const power = JSON.parse(message.data).power;
            if (!power || window.powerPainted)
                return;
            window.reading.textContent = JSON.stringify(power);
            window.powerReceived = performance.timeOrigin + performance.now();
            requestAnimationFrame(() => {
                window.powerPainted = performance.timeOrigin + performance.now();
            });
        };
    }))));
    await sleep(2000);
    const idleStart = processFigures(vx37d.pid);
    await sleep(10000);
    const idleEnd = processFigures(vx37d.pid);
    console.log(`50 pages (${sessions.filter(Boolean).length} with a session): vx37d resident ` +
        `${(idleEnd.rssKiB / 1024).toFixed(1)} MiB, idle CPU ` +
        `${((idleEnd.cpuSeconds - idleStart.cpuSeconds) / 10 * 100).toFixed(2)} % over 10 s`);

    // vx37d's own part: the same event at a client in this process (node 20 needs
    // --experimental-websocket for it).
    let nodeReceived = 0;
    if (typeof WebSocket !== 'undefined') {
        const events = new WebSocket(`${url.replace('http', 'ws')}/api/events`);
        await new Promise((resolve) => { events.onopen = resolve; });
        await sleep(500);
        events.onmessage = (message) => {
            if (JSON.parse(message.data).power && !nodeReceived)
                nodeReceived = performance.now();
        };
        context.after(() => events.close());
    }
    await Promise.all(pages.map((p) => p.evaluate(() => { window.powerPainted = 0; })));
    const sent = wire.length;
    await control(page, 'Command18').click(); // "OFF": the power reading changes
    await sleep(3000); // not asked meanwhile: asking 50 pages would load the machine
    const painted = await Promise.all(pages.filter((p, i) => following[i])
        .map((p) => p.evaluate(() => window.powerPainted)));
    if (!painted.every(Boolean))
        throw new Error('the power reading was not painted in every page');
    // The status reply that told the change: the first after "OFF" that the power poll got.
    const off = wire.findIndex((line, i) => i >= sent && line.text.includes('PC>VX37  C 0 1 CR'));
    const query = wire.findIndex((line, i) => i > off && line.text.includes('PC>VX37  C R 0 CR'));
    const reply = wire.slice(query).find((line) => line.text.includes('VX37>PC'));
    const lags = painted.map((at) => at - (performance.timeOrigin + reply.at));
    const received = await Promise.all(pages.filter((p, i) => following[i])
        .map((p) => p.evaluate(() => window.powerReceived)));
    const arrivals = received.map((at) => at - (performance.timeOrigin + reply.at));
    console.log(`   received in p50 ${ms(percentile(arrivals, 0.5))}, max ${ms(Math.max(...arrivals))}` +
        (nodeReceived ? `; at a client in node ${ms(nodeReceived - reply.at)}` : ''));
    console.log(`50 pages (${lags.length} following the events): the power reading painted in ` +
        `all within ${ms(Math.max(...lags))} ` +
        `of its reply on the wire (p50 ${ms(percentile(lags, 0.5))})`);
    console.log(`vx37d resident after: ${(processFigures(vx37d.pid).rssKiB / 1024).toFixed(1)} MiB`);
}

main().catch((error) => {
    console.error(error);
    process.exitCode = 1;
}).finally(async () => {
    for (const fn of cleanups.reverse())
        await fn();
});
