// What the page's browser tests (and the bench and screenshot beside them) share: vx37-sim
// with its transcript, vx37d on its line serving the page on loopback, headless Chromium.
'use strict';

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

// Starts a program; resolves once all it has written to `stream` matches `pattern`. The
// other stream's lines go to `other`, each with the time it arrived.
function started(program, args, stream, pattern, other = []) {
    return new Promise((resolve, reject) => {
        const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] });
        let seen = '';
        let partial = '';
        const timer = setTimeout(() => reject(new Error(`${program}: ${seen}`)), 10000);
        child[stream === 'stdout' ? 'stderr' : 'stdout'].on('data', (data) => {
            const lines = (partial + data).split('\n');
            partial = lines.pop();
            other.push(...lines.map((text) => ({ text, at: performance.now() })));
        });
        child[stream].on('data', (data) => {
            const match = (seen += data).match(pattern);
            if (match) {
                clearTimeout(timer);
                resolve({ child, match });
            }
        });
        child.on('exit', (code) => reject(new Error(`${program} ended (${code}): ${seen}`)));
    });
}

// The simulator and vx37d serving the page; `wire` is the simulator's transcript.
async function rig(t, { password, args = [] } = {}) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vx37-web-'));
    const [link, wire] = [path.join(dir, 'com1'), []];
    const sim = await started(process.env.VX37_SIM,
        ['--link', link, '--count-down', '500', '--cooling', '500'], 'stdout', /com1/, wire);
    if (password) {
        fs.writeFileSync(path.join(dir, 'password'), `${password}\n`, { mode: 0o600 });
        args = [...args, '--password-file', path.join(dir, 'password')];
    }
    // The caps as they come: two pages of one browser fit within them.
    const server = await started(process.env.VX37D, ['--port', link, '--http', '127.0.0.1:0',
        '--share', '127.0.0.1:0', '--pjlink', '127.0.0.1:0', ...args], 'stderr',
        /^(?=[^]*the projector answers)[^]*?web panel on (https?:\/\/127\.0\.0\.1:\d+)/);
    const browser = await chromium.launch({ executablePath: process.env.VX37_CHROMIUM });
    t.after(() => browser.close().finally(() => {
        [server, sim].forEach(({ child }) => child.kill());
        fs.rmSync(dir, { recursive: true });
    }));
    return { url: server.match[1], wire, browser, vx37d: server.child };
}

// The frames with this code ("C00") the simulator heard, with their arrival times.
const frames = (wire, code) => wire.filter((line) => line.text.includes(`PC>VX37  ${[...code].join(' ')} CR`));

// Waits until `check` returns a truthy value; that value.
async function until(check, what, ms = 5000) {
    for (const end = performance.now() + ms; performance.now() < end;) {
        const value = await check();
        if (value)
            return value;
        await new Promise((resolve) => setTimeout(resolve, 20));
    }
    throw new Error(`not within ${ms} ms: ${what}`);
}

// A page of the panel, drawn from its session.
async function openPanel(browser, url, viewport = { width: 700, height: 640 }) {
    const page = await browser.newPage({ viewport });
    await page.goto(url);
    await page.waitForFunction(() => document.getElementById('Form1')?.dataset.session === 'open');
    return page;
}

const control = (page, name) => page.locator(`[data-control="${name}"]`);

module.exports = { rig, frames, until, openPanel, control };
