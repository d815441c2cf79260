// Takes docs/web.png: the panel's page in headless Chromium, served by vx37d on the
// simulator, in the full view with a typed command sent and answered, as docs/full.png
// shows the window. Run by scripts/screenshots.
'use strict';

const path = require('node:path');
const { rig, until, openPanel, control } = require(
    path.join(__dirname, '..', 'tests', 'web', 'page_rig'));

async function main(output) {
    const cleanups = [];
    try {
        const { url, browser } = await rig({ after: (fn) => cleanups.push(fn) });
        const page = await openPanel(browser, url, { width: 633, height: 577 });
        await page.keyboard.press('Control+K');
        await control(page, 'Image1').dblclick();
        await control(page, 'Text1').fill('CR9');
        await control(page, 'Command95').click();
        await until(async () => (await control(page, 'Label12').textContent()).includes('CR'), 'RXD');
        await page.locator('#Form1').screenshot({ path: output });
        console.log(output);
    } finally {
        for (const fn of cleanups.reverse())
            await fn();
    }
}

main(process.argv[2]).catch((error) => {
    console.error(error);
    process.exitCode = 1;
});
