// Drives the web client in headless Chromium at a phone's size: logon (a wrong password
// first), browsing, editing, adding, deleting, finding, sorting and a query, and checks the
// SQLite file and a TCP client against what the browser did. Environment: see run-e2e.sh.
"use strict";
const { chromium } = require("playwright-core");
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
  const page = context.pages()[0] || (await context.newPage());
  page.setDefaultTimeout(10000);
  const shot = async (name) => {
    if (env.SHOTS) await page.screenshot({ path: path.join(env.SHOTS, name + ".png") });
  };
  const message = () => page.locator("#message");
  const position = () => page.locator("#position");
  const tap = (selector) => page.locator(selector).click();

  await page.goto(env.BASE_URL);
  await page.locator("#user").fill("DEMO");
  await page.locator("#password").fill("wrong");
  await shot("1-logon");
  await tap("#logon");
  await assert.doesNotReject(message().filter({ hasText: "PassDenied" }).waitFor());
  // The address waits a second after its first failure.
  await page.waitForTimeout(1200);
  await page.locator("#password").fill("DEMO");
  await tap("#logon");
  await page.locator("#databases button", { hasText: "sample.db" }).waitFor();
  await shot("2-databases");

  await page.locator("#databases button", { hasText: "sample.db" }).click();
  await page.locator("#tables button", { hasText: "Customers" }).waitFor();
  await page.locator("#queries button", { hasText: "Customers In London" }).waitFor();
  await shot("3-tables");
  const tables = replyFields(tcp(["RequestTables", "0"]), "Tables");
  const customers = String(tables.indexOf("Customers"));

  await page.locator("#tables button", { hasText: "Customers" }).click();
  await position().filter({ hasText: "Record 1 of 120" }).waitFor();
  assert.equal(await page.locator("#field-1").inputValue(), "Alder Bakery");
  await tap("#last");
  await position().filter({ hasText: "Record 120 of 120" }).waitFor();
  assert.equal(await page.locator("#field-1").inputValue(), "Customer 120");

  // Edit and save: in the file and seen by a TCP client.
  await page.locator("#field-2").fill("Web Edit");
  await tap("#save");
  await message().filter({ hasText: "Saved" }).waitFor();
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
  assert.equal(await page.locator("#field-2").inputValue(), "Tcp Edit");

  // Add and delete.
  await tap("#add");
  await page.locator("#field-1").fill("Web Added");
  await page.locator("#field-3").fill("Porto");
  await tap("#save");
  await position().filter({ hasText: "Record 121 of 121" }).waitFor();
  assert.equal(sql("SELECT COUNT(*) FROM Customers WHERE CompanyName = 'Web Added'"), "1");
  await tap("#delete");
  await shot("5-delete");
  await tap("#confirm-delete");
  await message().filter({ hasText: "Deleted" }).waitFor();
  assert.equal(sql("SELECT COUNT(*) FROM Customers WHERE CompanyName = 'Web Added'"), "0");
  await position().filter({ hasText: "of 120" }).waitFor();

  // Find, exactly.
  await tap("#find-open");
  await page.locator("#find-text").fill("Kauri Kitchen");
  await page.locator("#find-mode").selectOption("1");
  await tap("#find-first");
  await position().filter({ hasText: "Record 11 of 120" }).waitFor();
  assert.equal(await page.locator("#field-1").inputValue(), "Kauri Kitchen");
  await shot("6-find");
  await page.locator("#find-text").fill("No Such Company");
  await tap("#find-first");
  await message().filter({ hasText: "NoMatch" }).waitFor();

  // Sort by a field.
  await tap("#sort-open");
  await page.locator("#sort-field").selectOption("CompanyName");
  await page.locator("#sort-direction").selectOption(" DESC");
  await tap("#sort");
  await position().filter({ hasText: "Record 1 of 120" }).waitFor();
  assert.equal(await page.locator("#field-1").inputValue(), "Larch Larder");

  // A query, kept.
  await tap("#back");
  await tap("#new-query");
  await page.locator("#query-table").selectOption({ label: "Customers" });
  await page.locator("#query-fields input").first().waitFor();
  await page.locator("#where-field").selectOption("City");
  await page.locator("#where-value").fill("London");
  await page.locator("#query-name").fill("WebLondon");
  await shot("7-query");
  await tap("#run-query");
  await page.locator("#results-count", { hasText: "records" }).waitFor();
  const londonCount = sql("SELECT COUNT(*) FROM Customers WHERE City = 'London'");
  assert.equal(await page.locator("#results tr").count(), Number(londonCount) + 1);
  await shot("8-results");
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
