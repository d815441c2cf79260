// An independent PJLink client, the npm package pjlink, drives vx37d against
// vx37-sim as a room-control system would: power on through warm-up to on and off through
// cooling to stand-by, input, mute, lamp and errors, without and with a password.
'use strict';

const { test } = require('node:test');
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const PJLink = require('pjlink');

// Starts a program and waits for a line of its output to match.
function started(program, args, stream, pattern) {
    return new Promise((resolve, reject) => {
        const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] });
        let seen = '';
        const timer = setTimeout(() => reject(new Error(`${program}: ${seen}`)), 10000);
        child[stream === 'stdout' ? 'stderr' : 'stdout'].resume();
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

// The simulated projector and vx37d on its line; a client of vx37d.
async function bridge(t, password) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vx37d-'));
    const link = path.join(dir, 'com1');
    const sim = await started(process.env.VX37_SIM,
        ['--link', link, '--quiet', '--count-down', '1500', '--cooling', '1500'], 'stdout', /com1/);
    const args = ['--port', link, '--pjlink', '127.0.0.1:0', '--share', '127.0.0.1:0', '--http', '127.0.0.1:0', '--poll', '1', '--name', 'hall'];
    if (password) {
        fs.writeFileSync(path.join(dir, 'password'), 'secret\n', { mode: 0o600 });
        args.push('--password-file', path.join(dir, 'password'));
    }
    const server = await started(process.env.VX37D, args, 'stderr',
        /PJLink class 1 on 127\.0\.0\.1:(\d+)[^]*the projector answers/);
    const clients = [];
    t.after(() => {
        clients.forEach((client) => client.disconnect());
        server.child.kill();
        sim.child.kill();
        fs.rmSync(dir, { recursive: true });
    });
    // A client: each method resolves with what its callback was given after the error.
    return (secret) => {
        const client = new PJLink('127.0.0.1', Number(server.match[1]), secret);
        clients.push(client);
        return (method, ...args) => new Promise((resolve, reject) => {
            client[method](...args, (error, ...values) => (error ? reject(error) : resolve(values)));
        });
    };
}

// Asks for the power state until it is `wanted`; the states seen on the way.
async function powerUntil(ask, wanted) {
    const seen = [];
    for (let tries = 0; tries < 100 && seen.at(-1) !== wanted; ++tries) {
        const [state] = await ask('getPowerState');
        if (state !== seen.at(-1))
            seen.push(state);
        await new Promise((resolve) => setTimeout(resolve, 100));
    }
    return seen;
}

test('without a password', { timeout: 60000 }, async (t) => {
    const ask = (await bridge(t))();
    assert.deepEqual(await ask('getClass'), ['1']);
    assert.deepEqual(await ask('getName'), ['hall']);
    assert.deepEqual(await ask('getManufacturer'), []);
    assert.deepEqual(await ask('getModel'), ['VX37']);
    assert.deepEqual((await ask('getInputs'))[0].map((input) => input.code), ['11', '12', '21']);
    assert.deepEqual(await powerUntil(ask, 0), [0]);
    await assert.rejects(ask('setInput', 2, 1), /Unavailable time/);
    await assert.rejects(ask('getMute'), /Unavailable time/);

    await ask('powerOn');
    assert.deepEqual(await powerUntil(ask, 1), [3, 1]);
    assert.deepEqual(await ask('getErrors'), [null]);
    assert.deepEqual(await ask('getLamps'), [[{ hours: 1234, on: true }, { hours: 1234, on: true }]]);

    await ask('setInput', 2, 1);
    assert.equal((await ask('getInput'))[0].code, '21');
    await assert.rejects(ask('setInput', 3, 1), /Out of parameter/);
    await ask('setMute', { video: true, audio: false });
    assert.deepEqual(await ask('getMute'), [{ audio: false, video: true }]);
    await ask('setMute', { video: true, audio: true });
    assert.deepEqual(await ask('getMute'), [{ audio: true, video: true }]);
    await ask('setMute', { video: false, audio: false });
    assert.deepEqual(await ask('getMute'), [{ audio: false, video: false }]);

    await ask('powerOff');
    assert.deepEqual(await powerUntil(ask, 0), [2, 0]);
    assert.deepEqual(await ask('getLamps'), [[{ hours: 1234, on: false }, { hours: 1234, on: false }]]);
});

test('with a password', { timeout: 60000 }, async (t) => {
    const client = await bridge(t, true);
    const ask = client('secret');
    await ask('powerOn');
    assert.deepEqual(await powerUntil(ask, 1), [3, 1]);
    await assert.rejects(client('wrong')('getPowerState'), /Authorization failed/);
    await assert.rejects(client()('getPowerState'), /Authorization failed/);
    assert.deepEqual(await ask('getPowerState'), [1]);
});
