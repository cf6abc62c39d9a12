// Drives the web client in headless Chromium at a phone's size: logon (a wrong password
// first), browsing, editing, adding, deleting, finding, sorting and a query, and checks the
// SQLite file and a TCP client against what the browser did. On the way: axe-core on every
// screen, where panels, messages and the focus go, enlarged text and a short screen.
// Environment: see run-e2e.sh.
"use strict";
const { chromium } = require("playwright-core");
const checks = require("./checks.cjs");
const { audit, assertClear, assertMessageSeen, assertScreen, focusedId } = checks;
const { execFileSync } = require("child_process");
const assert = require("assert/strict");
const path = require("path");

const env = process.env;

function sql(query) {
  return execFileSync("sqlite3", [env.DB, query], { encoding: "utf8" }).trim();
}

// Runs the reference client; its printed replies.
function tcp(...commands) {
  const args = ["--host", "127.0.0.1", "--port", env.TCP_PORT, "--user", "DEMO", "--password",
    "DEMO", "--key", env.KEY, "--timeout", "5000"];
  commands.forEach((command, i) => { if (i > 0) args.push(","); args.push(...command); });
  return execFileSync(env.CLIENT, args, { encoding: "latin1" });
}

// The fields of the last "< Word [a | b]" line of the client's output.
function replyFields(output, word) {
  const lines = output.split("\n").filter((l) => l.startsWith("< " + word));
  assert.ok(lines.length, "no " + word + " reply in:\n" + output);
  const text = lines[lines.length - 1];
  return text.slice(text.indexOf("[") + 1, text.lastIndexOf("]")).split(" | ");
}

// At 200 % text the record screen still fits the phone's width, its tool row and title
// wrap, the navigation stays on screen and works, and a focused field is never under a bar.
async function largeText(page) {
  await page.evaluate(() => { document.documentElement.style.fontSize = "34px"; });
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  assert.ok(width <= 390, `the page is ${width} px wide at 200 % text`);
  for (const id of ["find-open", "sort-open", "add", "delete"]) {
    const fits = await page.locator("#" + id).evaluate((e) =>
      e.scrollWidth <= e.clientWidth && e.getBoundingClientRect().right <= window.innerWidth);
    assert.ok(fits, `#${id} is cut at 200 % text`);
  }
  const title = await page.locator("#title").evaluate((e) => e.scrollWidth <= e.clientWidth);
  assert.ok(title, "the title is cut at 200 % text");
  const nav = await page.locator("#record-nav").boundingBox();
  assert.ok(nav.y + nav.height <= 844.5 && nav.height < 844 / 4, `navigation at ${nav.y}+${nav.height}`);
  await page.locator("#next").click();
  await page.locator("#position", { hasText: "Record 2 of 120" }).waitFor();

  await page.locator("#field-0").focus();
  await page.evaluate(() => window.scrollTo(0, 0));
  for (let i = 1; i <= 6; i++) {
    await page.keyboard.press("Tab");
    assert.equal(await focusedId(page), "field-" + i);
    await assertClear(page, "#field-" + i, `field ${i} focused by Tab at 200 % text`);
  }
  for (let i = 5; i >= 0; i--) {
    await page.keyboard.press("Shift+Tab");
    await assertClear(page, "#field-" + i, `field ${i} focused by Shift+Tab at 200 % text`);
  }
  await page.evaluate(() => { document.documentElement.style.fontSize = ""; });
}

// At 320x256 (a 400 % zoom) the bars that stay on screen take a small part of it.
async function shortScreen(page) {
  await page.setViewportSize({ width: 320, height: 256 });
  const bars = await page.evaluate(() => {
    const fixed = [document.querySelector(".bar"), document.getElementById("dock")]
      .filter((e) => getComputedStyle(e).position !== "static");
    return { height: fixed.reduce((sum, e) => sum + e.offsetHeight, 0),
      width: document.documentElement.scrollWidth };
  });
  assert.ok(bars.height <= 256 * 0.3, `the bars take ${bars.height} of 256 px`);
  assert.ok(bars.width <= 320, `the page is ${bars.width} px wide at 320 px`);
  await page.setViewportSize({ width: 1280, height: 800 });
  await audit(page, "record at 1280x800");
  await page.setViewportSize({ width: 390, height: 844 });
}

async function main() {
  const context = await chromium.launchPersistentContext(env.PROFILE, {
    executablePath: env.CHROMIUM,
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--no-first-run"],
    viewport: { width: 390, height: 844 },
    deviceScaleFactor: 2,
    isMobile: true,
    hasTouch: true,
  });
  await context.addInitScript(checks.axeScript);
  const page = context.pages()[0] || (await context.newPage());
  page.setDefaultTimeout(10000);
  const shot = async (name) => {
    if (env.SHOTS) await page.screenshot({ path: path.join(env.SHOTS, name + ".png") });
  };
  const message = () => page.locator("#message");
  const position = () => page.locator("#position");
  const tap = (selector) => page.locator(selector).click();

  // A memo longer than a screen.
  const memo = Array.from({ length: 160 }, (_, i) => `Note ${i}: pays on delivery.`).join(" ");
  sql(`UPDATE Customers SET Notes = '${memo}' WHERE CustomerID = 1`);

  await page.goto(env.BASE_URL);
  await assertScreen(page, "Corvane Database");
  await audit(page, "logon");
  await page.locator("#user").fill("DEMO");
  await page.locator("#password").fill("wrong");
  await shot("1-logon");
  await tap("#logon");
  await assertMessageSeen(page, "PassDenied");
  await audit(page, "refused logon");
  // The address waits a second after its first failure.
  await page.waitForTimeout(1200);
  await page.locator("#password").fill("DEMO");
  await tap("#logon");
  await page.locator("#databases button", { hasText: "sample.db" }).waitFor();
  await assertScreen(page, "Databases");
  assert.ok(await message().isHidden(), "the refusal is gone after the logon");
  await shot("2-databases");
  await audit(page, "databases");

  await page.locator("#databases button", { hasText: "sample.db" }).click();
  await page.locator("#tables button", { hasText: "Customers" }).waitFor();
  await page.locator("#queries button", { hasText: "Customers In London" }).waitFor();
  await assertScreen(page, "sample.db");
  const back = await page.locator("#back").boundingBox();
  assert.ok(back.width >= 44 && back.height >= 44, `Back is ${back.width}x${back.height}`);
  await shot("3-tables");
  await audit(page, "tables");
  // A list button's focus ring is drawn inside it, where the rounded list does not clip it.
  for (let i = 0; i < 6 && !(await page.evaluate(() => document.activeElement.closest("#tables"))); i++) {
    await page.keyboard.press("Tab");
  }
  const ring = await page.evaluate(() => {
    const style = getComputedStyle(document.activeElement);
    return { inList: !!document.activeElement.closest("#tables"), style: style.outlineStyle,
      offset: parseFloat(style.outlineOffset), width: parseFloat(style.outlineWidth) };
  });
  assert.ok(ring.inList && ring.style !== "none" && ring.offset + ring.width <= 0,
    "list focus ring: " + JSON.stringify(ring));
  const tables = replyFields(tcp(["RequestTables", "0"]), "Tables");
  const customers = String(tables.indexOf("Customers"));

  await page.locator("#tables button", { hasText: "Customers" }).click();
  await position().filter({ hasText: "Record 1 of 120" }).waitFor();
  await assertScreen(page, "Customers");
  assert.equal(await page.locator("#field-1").inputValue(), "Alder Bakery");
  // Next and Prev are announced through the position, politely.
  assert.equal(await position().getAttribute("aria-live"), "polite");
  assert.equal(await position().getAttribute("role"), "status");
  // A Text field takes no more than it holds; the memo gets lines of its own.
  assert.equal(await page.locator("#field-1").getAttribute("maxlength"), "40");
  const notes = page.locator("#field-6");
  assert.equal(await notes.evaluate((e) => e.tagName), "TEXTAREA");
  assert.equal(await notes.inputValue(), memo);
  assert.ok((await notes.boundingBox()).height > 150, "the memo shows several lines");
  await audit(page, "record");
  for (const control of ["#field-1", "#field-6", "#find-open"]) {
    const contrast = await checks.borderContrast(page, control);
    assert.ok(contrast >= 3, `the border of ${control} has a contrast of ${contrast.toFixed(2)}:1`);
  }
  await tap("#last");
  await position().filter({ hasText: "Record 120 of 120" }).waitFor();
  assert.equal(await page.locator("#field-1").inputValue(), "Customer 120");

  // Edit and save with Enter: in the file and seen by a TCP client.
  await page.locator("#field-2").fill("Web Edit");
  await page.locator("#field-2").press("Enter");
  await assertMessageSeen(page, "Saved");
  assert.equal(await focusedId(page), "field-2");
  await shot("4-record");
  assert.equal(sql("SELECT ContactName FROM Customers WHERE CustomerID = 120"), "Web Edit");
  const seen = replyFields(tcp(["RequestTheTable", "0", customers], ["Last"]), "Data");
  assert.equal(seen[3], "Web Edit");

  // A TCP client's change is seen by the browser.
  const before = replyFields(tcp(["RequestTheTable", "0", customers], ["Last"], ["Prev"]), "Data");
  const values = before.slice(1);
  values[2] = "Tcp Edit";
  tcp(["RequestTheTable", "0", customers], ["Last"], ["Prev"], ["Update", ...values]);
  assert.equal(sql("SELECT ContactName FROM Customers WHERE CustomerID = 119"), "Tcp Edit");
  await tap("#prev");
  await position().filter({ hasText: "Record 119 of 120" }).waitFor();
  assert.ok(await message().isHidden(), "the next action clears the message");
  assert.equal(await page.locator("#field-2").inputValue(), "Tcp Edit");

  // A conflict: the TCP client saves the record while the browser edits it. The form shows
  // their record, and the browser's change can be applied to it again.
  const current = replyFields(tcp(["RequestTheTable", "0", customers], ["Last"], ["Prev"]), "Data").slice(1);
  current[3] = "Lisbon";
  tcp(["RequestTheTable", "0", customers], ["Last"], ["Prev"], ["Update", ...current]);
  await page.locator("#field-2").fill("Mine Again");
  await tap("#save");
  await assertMessageSeen(page, "Another user changed this record");
  assert.equal(await page.locator("#field-3").inputValue(), "Lisbon");
  assert.equal(await page.locator("#field-2").inputValue(), "Tcp Edit");
  await audit(page, "conflict");
  await tap("#reapply");
  assert.equal(await page.locator("#field-2").inputValue(), "Mine Again");
  assert.equal(await page.locator("#field-3").inputValue(), "Lisbon");
  await tap("#save");
  await message().filter({ hasText: "Saved" }).waitFor();
  assert.equal(sql("SELECT ContactName || '/' || City FROM Customers WHERE CustomerID = 119"),
    "Mine Again/Lisbon");

  // A failed edit keeps what was typed and marks the field at fault.
  await page.locator("#field-1").fill("");
  await page.locator("#field-2").fill("Still Typed");
  await tap("#save");
  await assertMessageSeen(page, "requires a value");
  assert.equal(await page.locator("#field-2").inputValue(), "Still Typed");
  const faulty = page.locator("#field-1");
  assert.equal(await faulty.getAttribute("aria-invalid"), "true");
  const note = await faulty.getAttribute("aria-describedby");
  assert.match(await page.locator("#" + note).innerText(), /CompanyName/);
  assert.equal(await focusedId(page), "field-1");
  await audit(page, "failed edit");
  await faulty.fill("Customer 119");
  await tap("#save");
  await message().filter({ hasText: "Saved" }).waitFor();
  assert.equal(await faulty.getAttribute("aria-invalid"), null);
  assert.equal(sql("SELECT ContactName FROM Customers WHERE CustomerID = 119"), "Still Typed");

  // Add and delete.
  await tap("#add");
  await page.locator("#field-1").fill("Web Added");
  await page.locator("#field-3").fill("Porto");
  await tap("#save");
  await position().filter({ hasText: "Record 121 of 121" }).waitFor();
  assert.equal(sql("SELECT COUNT(*) FROM Customers WHERE CompanyName = 'Web Added'"), "1");
  await tap("#delete");
  await assertClear(page, "#confirm-panel");
  assert.equal(await focusedId(page), "cancel-delete");
  await shot("5-delete");
  await audit(page, "delete");
  await tap("#confirm-delete");
  await message().filter({ hasText: "Deleted" }).waitFor();
  assert.equal(sql("SELECT COUNT(*) FROM Customers WHERE CompanyName = 'Web Added'"), "0");
  await position().filter({ hasText: "of 120" }).waitFor();

  // Find, exactly, with Enter.
  await tap("#find-open");
  await assertClear(page, "#find-panel");
  assert.equal(await focusedId(page), "find-text");
  await page.locator("#find-mode").selectOption("1");
  await page.locator("#find-text").fill("Kauri Kitchen");
  await page.locator("#find-text").press("Enter");
  await position().filter({ hasText: "Record 11 of 120" }).waitFor();
  assert.equal(await page.locator("#field-1").inputValue(), "Kauri Kitchen");
  await assertMessageSeen(page, "Found in CompanyName");
  await assertClear(page, "#find-panel", "the find panel under its message");
  await shot("6-find");
  await audit(page, "find");
  await page.locator("#find-text").fill("No Such Company");
  await tap("#find-first");
  await assertMessageSeen(page, "NoMatch");
  // Escape closes the panel; the focus goes back to its button.
  await page.keyboard.press("Escape");
  assert.ok(await page.locator("#find-panel").isHidden());
  assert.equal(await focusedId(page), "find-open");

  // Sort by a field.
  await tap("#sort-open");
  assert.ok(await message().isHidden(), "NoMatch is gone once the sort panel opens");
  await assertClear(page, "#sort-panel");
  assert.equal(await focusedId(page), "sort-field");
  await audit(page, "sort");
  await page.keyboard.press("Escape");
  assert.ok(await page.locator("#sort-panel").isHidden());
  await tap("#sort-open");
  await page.locator("#sort-field").selectOption("CompanyName");
  await page.locator("#sort-direction").selectOption(" DESC");
  await tap("#sort");
  await position().filter({ hasText: "Record 1 of 120" }).waitFor();
  assert.equal(await page.locator("#field-1").inputValue(), "Larch Larder");

  await largeText(page);
  await shortScreen(page);

  // A query, kept.
  await tap("#back");
  await assertScreen(page, "sample.db");
  await tap("#new-query");
  await assertScreen(page, "New query");
  await page.locator("#query-table").selectOption({ label: "Customers" });
  await page.locator("#query-fields input").first().waitFor();
  await page.locator("#where-field").selectOption("City");
  await page.locator("#where-value").fill("London");
  await page.locator("#query-name").fill("WebLondon");
  await shot("7-query");
  await audit(page, "query");
  await tap("#run-query");
  await page.locator("#results-count", { hasText: "records" }).waitFor();
  await assertScreen(page, "WebLondon");
  const londonCount = sql("SELECT COUNT(*) FROM Customers WHERE City = 'London'");
  assert.equal(await page.locator("#results tr").count(), Number(londonCount) + 1);
  // The scroller is reached by keyboard and named after the table's caption.
  const scroller = page.locator("#results-scroll");
  assert.equal(await scroller.getAttribute("tabindex"), "0");
  assert.equal(await scroller.getAttribute("role"), "region");
  assert.equal(await page.locator("#results caption").innerText(), "Results of WebLondon");
  assert.equal(await page.getByRole("region", { name: "Results of WebLondon" }).count(), 1);
  await shot("8-results");
  await audit(page, "results");
  await tap("#keep-query");
  await page.locator("#queries button", { hasText: "WebLondon" }).waitFor();

  // The browser's slot is a logged-on user like the TCP clients.
  const serverOut = require("fs").readFileSync(env.SERVER_OUT, "latin1");
  assert.match(serverOut, /plain HTTP/);
  // A logged-on browser's activity row carries its user and its address.
  assert.ok(serverOut.split("\n").some((l) => l.includes("DEMO") && l.includes("127.0.0.1")),
    "no activity row with the browser's user and address:\n" + serverOut);

  await tap("#logoff");
  await page.locator("#logon").waitFor();
  await context.close();
  console.log("web client end-to-end: passed");
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
