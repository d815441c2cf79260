// What the page's browser tests share: vx37-sim with its transcript, vx37d on its line
// serving the page on loopback, and headless Chromium.
'use strict';

const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

// Collects a stream's lines with the time each arrived.
function collect(stream, lines) {
    let partial = '';
    stream.on('data', (data) => {
        const at = performance.now();
        const parts = (partial + data).split('\n');
        partial = parts.pop();
        for (const text of parts)
            lines.push({ text, at });
    });
}

// Starts a program and waits for its output on `stream` to match; the other stream's
// lines go to `other`.
function started(program, args, stream, pattern, other = []) {
    return new Promise((resolve, reject) => {
        const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] });
        let seen = '';
        const timer = setTimeout(() => reject(new Error(`${program}: ${seen}`)), 10000);
        collect(child[stream === 'stdout' ? 'stderr' : 'stdout'], other);
        child[stream].on('data', (data) => {
            seen += data;
            const match = seen.match(pattern);
            if (match) {
                clearTimeout(timer);
                resolve({ child, match });
            }
        });
        child.on('exit', (code) => reject(new Error(`${program} ended (${code}): ${seen}`)));
    });
}

// The simulator and vx37d serving the page; `wire` holds the simulator's transcript.
async function rig(t, { password, args: extra = [] } = {}) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vx37-web-'));
    const link = path.join(dir, 'com1');
    const wire = [];
    const sim = await started(process.env.VX37_SIM,
        ['--link', link, '--count-down', '500', '--cooling', '500'], 'stdout', /com1/, wire);
    // Every page of the browser comes from one address, and a browser keeps several
    // connections open for each page: more than vx37d's default cap for one address.
    const args = ['--port', link, '--http', '127.0.0.1:0', '--share', '127.0.0.1:0',
        '--pjlink', '127.0.0.1:0', '--max-per-address', '1000', '--max-connections', '1000',
        ...extra];
    if (password) {
        fs.writeFileSync(path.join(dir, 'password'), `${password}\n`, { mode: 0o600 });
        args.push('--password-file', path.join(dir, 'password'));
    }
    const server = await started(process.env.VX37D, args, 'stderr',
        /^(?=[^]*the projector answers)[^]*?web panel on (https?:\/\/127\.0\.0\.1:\d+)/);
    const browser = await chromium.launch({ executablePath: process.env.VX37_CHROMIUM });
    t.after(async () => {
        await browser.close();
        server.child.kill();
        sim.child.kill();
        fs.rmSync(dir, { recursive: true });
    });
    return { url: server.match[1], wire, browser, vx37d: server.child };
}

// The frames the panel put on the wire with this code ("C00"), with their arrival times.
function frames(wire, code) {
    const text = `PC>VX37  ${[...code].join(' ')} CR`;
    return wire.filter((line) => line.text.includes(text));
}

// Waits until `check` returns a truthy value; that value.
async function until(check, what, ms = 5000) {
    const end = performance.now() + ms;
    for (;;) {
        const value = await check();
        if (value)
            return value;
        if (performance.now() > end)
            throw new Error(`not within ${ms} ms: ${what}`);
        await new Promise((resolve) => setTimeout(resolve, 20));
    }
}

// A page of the panel, its session open.
async function openPanel(browser, url, viewport = { width: 700, height: 640 }) {
    const page = await browser.newPage({ viewport });
    await page.goto(url);
    await page.waitForFunction(() => document.getElementById('Form1').dataset.session === 'open');
    return page;
}

const control = (page, name) => page.locator(`[data-control="${name}"]`);

function geometryDump() {
    return JSON.parse(execFileSync(process.env.VX37_GEOMETRY_DUMP, { encoding: 'utf8' }));
}

module.exports = { rig, frames, until, openPanel, control, geometryDump };
