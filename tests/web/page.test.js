// The panel's page in headless Chromium against vx37d and vx37-sim: the page is the
// desktop window, control for control; its clicks and held buttons reach the wire; each
// page is a session of its own; the password admits and refuses.
'use strict';

const { test } = require('node:test');
const assert = require('node:assert/strict');
const { rig, frames, until, openPanel, control, geometryDump } = require('./page_rig');

// Takes a page to a view with the gestures the dump took the window there with.
async function gesture(page, step) {
    const [kind, name] = step.split(':');
    if (kind === 'key')
        await page.keyboard.press('Control+K');
    else // as the dump does, whether or not the control lies within the view
        await control(page, name).dispatchEvent(kind);
}

test('the page is the panel in every view', { timeout: 60000 }, async (t) => {
    const { url, browser } = await rig(t);
    for (const view of geometryDump()) {
        const page = await openPanel(browser, url);
        for (const step of view.gestures)
            await gesture(page, step);
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
        for (const want of view.controls) {
            const got = boxes[want.name];
            assert.ok(got, `${view.name}: ${want.name} is on the page`);
            assert.equal(got.visible, want.visible, `${view.name}: ${want.name} shown`);
            if (!want.visible)
                continue;
            for (const key of ['x', 'y', 'width', 'height'])
                assert.ok(Math.abs(got[key] - want[key]) <= 1,
                    `${view.name}: ${want.name}.${key} ${got[key]}, window ${want[key]}`);
        }
        await page.close();
    }
});

test('clicks reach the wire; held buttons repeat and stop with the page', { timeout: 60000 }, async (t) => {
    const { url, browser, wire } = await rig(t);
    const page = await openPanel(browser, url);
    await control(page, 'Command17').click();
    await until(() => frames(wire, 'C00').length === 1, 'C00 on the wire');
    await until(async () => (await control(page, 'Label11').textContent()).trim() === 'C 0 0 CR', 'TXD');
    await page.keyboard.press('Control+K'); // the service view shows the status queries
    await control(page, 'Command44').click();
    await until(async () => (await control(page, 'Label22').textContent()).trim(), 'status line');

    // Holding "↑" for a second: a frame at once, then one per 200 ms repeat.
    const up = await control(page, 'Command5').boundingBox();
    await page.mouse.move(up.x + up.width / 2, up.y + up.height / 2);
    await page.mouse.down();
    await new Promise((resolve) => setTimeout(resolve, 1000));
    await page.mouse.up();
    await new Promise((resolve) => setTimeout(resolve, 500));
    const held = frames(wire, 'C3C');
    assert.ok(held.length >= 4 && held.length <= 7, `${held.length} frames in 1 s`);
    const gaps = held.slice(1).map((f, i) => f.at - held[i].at).sort((a, b) => a - b);
    const median = gaps[Math.floor(gaps.length / 2)];
    assert.ok(median > 150 && median < 260, `repeat every ${median} ms`);

    // Closing the page while holding stops the repeat within a second.
    const other = await openPanel(browser, url);
    const box = await control(other, 'Command5').boundingBox();
    await other.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await other.mouse.down();
    const before = frames(wire, 'C3C').length;
    await until(() => frames(wire, 'C3C').length >= before + 2, 'repeat while held');
    const closed = performance.now();
    await other.close();
    await new Promise((resolve) => setTimeout(resolve, 2000));
    const last = frames(wire, 'C3C').at(-1).at;
    assert.ok(last - closed < 1000, `a frame ${Math.round(last - closed)} ms after closing`);
});

test('two pages keep their own monitor lines', { timeout: 60000 }, async (t) => {
    const { url, browser, wire } = await rig(t);
    // Every text each page's TXD line takes, though the display clear empties it again.
    const watched = async () => {
        const page = await openPanel(browser, url);
        await page.evaluate(() => {
            const line = document.querySelector('[data-control="Label11"]');
            window.seen = [];
            new MutationObserver(() => window.seen.push(line.textContent))
                .observe(line, { childList: true, characterData: true, subtree: true });
        });
        return page;
    };
    const [first, second] = [await watched(), await watched()];
    await control(first, 'Command17').click();
    await until(() => frames(wire, 'C00').length === 1, 'C00 on the wire');
    await control(second, 'Command18').click();
    await until(() => frames(wire, 'C01').length === 1, 'C01 on the wire');
    const seen = (page) => until(async () => {
        const texts = (await page.evaluate(() => window.seen)).map((text) => text.trim()).filter(Boolean);
        return texts.length > 0 && texts;
    }, 'a TXD line');
    assert.deepEqual(await seen(first), ['C 0 0 CR']);
    assert.deepEqual(await seen(second), ['C 0 1 CR']);
});

test('with a password the page logs in, and a wrong one is refused', { timeout: 60000 }, async (t) => {
    const { url, browser } = await rig(t, { password: 'secret' });
    const page = await browser.newPage();
    await page.goto(url);
    const logIn = async (password) => {
        await page.locator('input[type=password]').fill(password);
        await page.locator('input[type=password]').press('Enter');
        await page.waitForLoadState();
    };
    await logIn('wrong');
    await page.getByRole('alert').waitFor();
    assert.equal(await page.locator('#Form1').count(), 0);
    await logIn('secret');
    await page.waitForFunction(() => document.getElementById('Form1')?.dataset.session === 'open');
});
