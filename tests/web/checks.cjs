// What the end-to-end test checks on any screen of the web client: axe-core's WCAG 2.1 A
// and AA rules, and where things are on the screen in relation to the fixed bars.
"use strict";
const assert = require("assert/strict");

const wcagTags = ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa"];

// Load into every page before its own scripts.
const axeScript = { path: require.resolve("axe-core/axe.min.js") };

// Fails with axe's findings when the page as it is now breaks any WCAG 2.1 A/AA rule.
async function audit(page, screen) {
  const violations = await page.evaluate(async (tags) => {
    const result = await window.axe.run(document, {
      runOnly: { type: "tag", values: tags },
      resultTypes: ["violations"],
    });
    return result.violations.map((v) => ({
      id: v.id, impact: v.impact, help: v.help, nodes: v.nodes.map((n) => n.target.join(" ")),
    }));
  }, wcagTags);
  const report = violations.map((v) => `${v.id} (${v.impact}): ${v.help}\n    ${v.nodes.join("\n    ")}`);
  assert.deepEqual(report, [], `axe found WCAG violations on the ${screen} screen`);
}

// The element's box and the part of the viewport the header and the bottom dock leave free.
async function placement(page, selector) {
  return page.locator(selector).evaluate((element) => {
    const header = document.querySelector(".bar");
    const sticky = getComputedStyle(header).position !== "static";
    const box = element.getBoundingClientRect();
    return {
      top: box.top, bottom: box.bottom, left: box.left, right: box.right,
      freeTop: sticky ? header.getBoundingClientRect().bottom : 0,
      freeBottom: document.getElementById("dock").getBoundingClientRect().top,
      height: window.innerHeight,
    };
  });
}

// The element is wholly on screen, neither under the header nor under the bottom bars.
async function assertClear(page, selector, what) {
  const p = await placement(page, selector);
  assert.ok(p.top >= p.freeTop - 0.5 && p.bottom <= p.freeBottom + 0.5,
    `${what || selector} at y=${p.top}..${p.bottom}, free area ${p.freeTop}..${p.freeBottom}`);
}

// The message box is on screen, above the navigation bar when there is one.
async function assertMessageSeen(page, text) {
  const message = page.locator("#message");
  await message.filter({ hasText: text }).waitFor();
  const box = await message.evaluate((element) => {
    const b = element.getBoundingClientRect();
    const nav = document.getElementById("record-nav");
    const navTop = nav.hidden ? window.innerHeight : nav.getBoundingClientRect().top;
    return { top: b.top, bottom: b.bottom, navTop };
  });
  assert.ok(box.top >= 0 && box.bottom <= box.navTop + 0.5,
    `message "${text}" at y=${box.top}..${box.bottom}, navigation from ${box.navTop}`);
}

async function focusedId(page) {
  return page.evaluate(() => document.activeElement && document.activeElement.id);
}

// A new screen: its heading holds the focus and names the page.
async function assertScreen(page, title) {
  await page.locator("#title", { hasText: title }).waitFor();
  const focused = await page.waitForFunction(() => document.activeElement.id === "title", null,
    { timeout: 5000 }).then(() => true, () => false);
  assert.ok(focused, `the heading has no focus after opening "${title}" (${await focusedId(page)} has)`);
  assert.match(await page.title(), new RegExp("^" + title.replace(/[.*+?^${}()|[\]\\]/g, "\\$&")));
}

function luminance(rgb) {
  const [r, g, b] = rgb.match(/[\d.]+/g).slice(0, 3).map((c) => {
    const s = Number(c) / 255;
    return s <= 0.03928 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4;
  });
  return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}

// Contrast of the element's border against the white it stands on.
async function borderContrast(page, selector) {
  const color = await page.locator(selector).evaluate((e) => getComputedStyle(e).borderTopColor);
  return (1 + 0.05) / (luminance(color) + 0.05);
}

module.exports = { axeScript, audit, placement, assertClear, assertMessageSeen, assertScreen, focusedId,
  borderContrast };
