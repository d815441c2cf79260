// The panel's page in headless Chromium against vx37d and vx37-sim: the page is the
// desktop window, control for control; clicks and held buttons (mouse or touch) reach the
// wire; each page is a session of its own; the password admits and refuses.
'use strict';

const { test } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const { rig, frames, until, openPanel, control } = require('./page_rig');
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const text = async (page, name) => (await control(page, name).textContent()).trim();

test('the page is the panel in every view', { timeout: 60000 }, async (t) => {
    const { url, browser } = await rig(t);
    for (const view of JSON.parse(execFileSync(process.env.VX37_GEOMETRY_DUMP, { encoding: 'utf8' }))) {
        const page = await openPanel(browser, url);
        // The dump's gestures; a click as the dump's, whether or not the control is in view.
        for (const [kind, name] of view.gestures.map((step) => step.split(':')))
            await (kind === 'key' ? page.keyboard.press('Control+K') : control(page, name).dispatchEvent(kind));
        // A control beyond the view's edge that takes the focus must not move the panel.
        await control(page, 'Command96').focus();
        const size = () => page.locator('#Form1').evaluate((f) => [f.offsetWidth, f.offsetHeight]);
        await until(async () => (await size())[1] === view.height, `${view.name} height`);
        assert.deepEqual(await size(), [view.width, view.height], view.name);
        const boxes = await page.evaluate(() => {
            const origin = document.getElementById('Form1').getBoundingClientRect();
            return Object.fromEntries([...document.querySelectorAll('[data-control]')].map((e) => {
                const r = e.getBoundingClientRect();
                return [e.dataset.control, { x: r.x - origin.x, y: r.y - origin.y,
                    width: r.width, height: r.height, visible: e.checkVisibility() }];
            }));
        });
        const wrong = view.controls.filter(({ name, visible, ...box }) => boxes[name]?.visible !== visible ||
            (visible && Object.keys(box).some((key) => Math.abs(boxes[name][key] - box[key]) > 1)));
        assert.deepEqual(wrong.map(({ name }) => [name, boxes[name]]), [], view.name);
        await page.close();
    }
});

test('clicks reach the wire; held buttons repeat and stop with the page', { timeout: 60000 }, async (t) => {
    const { url, browser, wire } = await rig(t);
    const page = await openPanel(browser, url);
    await control(page, 'Command17').click();
    await until(async () => frames(wire, 'C00').length === 1 && await text(page, 'Label11') === 'C 0 0 CR', 'C00');
    await page.keyboard.press('Control+K'); // the service view shows the status queries
    await control(page, 'Command44').click();
    await until(() => text(page, 'Label22'), 'the status line');

    // "↑" held for a second: a frame at once, then one per 200 ms.
    await control(page, 'Command5').hover();
    await page.mouse.down().then(() => sleep(1000));
    await page.mouse.up().then(() => sleep(500));
    const held = frames(wire, 'C3C');
    const gap = held.slice(1).map((f, i) => f.at - held[i].at).sort((a, b) => a - b)[held.length >> 1];
    assert.ok(held.length >= 4 && held.length <= 7 && Math.abs(gap - 200) < 60, `${held.length} frames, ${gap} ms`);

    // A phone: the whole panel scaled to its width, "↑" held by touch, the page closed.
    const phone = await browser.newContext({ viewport: { width: 360, height: 640 }, hasTouch: true });
    const touch = await openPanel(phone, url);
    assert.equal((await touch.locator('#Form1').boundingBox()).width, 360);
    const { x, y, width, height } = await control(touch, 'Command5').boundingBox();
    const before = frames(wire, 'C3C').length;
    await (await phone.newCDPSession(touch)).send('Input.dispatchTouchEvent',
        { type: 'touchStart', touchPoints: [{ x: x + width / 2, y: y + height / 2 }] });
    await until(() => frames(wire, 'C3C').length >= before + 3, 'repeat while touched');
    const closed = performance.now();
    await touch.close().then(() => sleep(2000));
    const last = frames(wire, 'C3C').at(-1).at - closed;
    assert.ok(last < 1000, `a frame ${Math.round(last)} ms after closing`);
});

test('two pages keep their own monitor lines', { timeout: 60000 }, async (t) => {
    const { url, browser, wire } = await rig(t);
    // Every text each page's TXD line takes, though the display clear empties it again.
    const pages = await Promise.all([0, 1].map(() => openPanel(browser, url)));
    await Promise.all(pages.map((page) => page.evaluate(() => {
        const line = document.querySelector('[data-control="Label11"]');
        window.seen = [];
        new MutationObserver(() => window.seen.push(line.textContent.trim())).observe(line, { childList: true });
    })));
    for (const [page, name, code] of [[pages[0], 'Command17', 'C00'], [pages[1], 'Command18', 'C01']]) {
        await control(page, name).click();
        await until(() => frames(wire, code).length === 1, `${code} on the wire`);
    }
    await sleep(300);
    assert.deepEqual(await pages[0].evaluate(() => window.seen.filter(Boolean)), ['C 0 0 CR']);
    assert.deepEqual(await pages[1].evaluate(() => window.seen.filter(Boolean)), ['C 0 1 CR']);
});

test('with a password the page logs in, and a wrong one is refused', { timeout: 60000 }, async (t) => {
    const { url, browser } = await rig(t, { password: 'secret' });
    const page = await browser.newPage();
    await page.goto(url);
    for (const password of ['wrong', 'secret']) {
        await page.locator('input[type=password]').fill(password);
        await page.locator('input[type=password]').press('Enter').then(() => page.waitForLoadState());
        assert.ok(password === 'secret' || /wrong/i.test(await page.getByRole('alert').textContent()));
    }
    await page.waitForFunction(() => document.getElementById('Form1')?.dataset.session === 'open');
});
