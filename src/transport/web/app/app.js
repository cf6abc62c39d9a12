"use strict";
// The Corvane web client: runs the client commands on the server through /api/run and
// shows their replies. Values are shown exactly as the server formats them.

const $ = (id) => document.getElementById(id);

const state = {
  db: -1, dbName: "", kind: "", index: -1, objectName: "",
  fields: [], maxLength: [], memo: [], values: [], number: 0, count: 0, adding: false,
  // After a conflict: what the user had changed, per field (null where nothing), to be
  // applied again to the record as the other user left it.
  mine: null,
  wizardTables: [], wizardFields: [], queryFields: [], queryKept: false, queryOpen: false,
};

const screens = ["logon", "databases", "objects", "record", "query", "results"];
let backAction = null;

const appName = "Corvane Database";

// A new screen: its heading takes the focus (a screen reader reads where the user is now)
// and names the browser's tab too.
function show(screen, title, back) {
  for (const name of screens) $(name + "-screen").hidden = name !== screen;
  $("title").textContent = title;
  document.title = title === appName ? appName : title + " \u2013 " + appName;
  $("back").hidden = !back;
  backAction = back || null;
  $("logoff").hidden = screen === "logon";
  $("record-nav").hidden = screen !== "record";
  say("");
  window.scrollTo(0, 0);
  $("title").focus({ preventScroll: true });
}

// Shows a message above the navigation bar, where it is seen wherever the page is
// scrolled; the next action clears it. `reapply` offers to apply the user's changes again.
function say(text, info, reapply) {
  const box = $("message");
  $("message-text").textContent = text || "";
  box.hidden = !text;
  box.classList.toggle("info", !!info);
  $("reapply").hidden = !(text && reapply);
  if (!(text && reapply)) state.mine = null;
  updateBars();
  keepFocusInView();
}

// The fixed bars cover the top and the bottom of the page: what has the focus is scrolled
// out from under them (their heights also set the page's scroll padding).
function barEdges() {
  const header = document.querySelector(".bar");
  const sticky = getComputedStyle(header).position !== "static";
  return { top: sticky ? header.getBoundingClientRect().bottom : 0, bottom: $("dock").getBoundingClientRect().top };
}

function keepInView(element) {
  if (!element || element.closest(".bar, .dock")) return;
  const box = element.getBoundingClientRect();
  const edges = barEdges();
  if (box.top < edges.top || box.bottom > edges.bottom) element.scrollIntoView({ block: "nearest" });
}

// A message that appears must not cover the panel being worked in.
function keepFocusInView() {
  const active = document.activeElement;
  if (!active || active === document.body) return;
  const panel = active.closest(".panel");
  if (panel) keepInView(panel);
  keepInView(active);
}

function updateBars() {
  const header = document.querySelector(".bar");
  const sticky = getComputedStyle(header).position !== "static";
  document.documentElement.style.setProperty("--top-bar", (sticky ? header.offsetHeight : 0) + "px");
  document.documentElement.style.setProperty("--bottom-bar", $("dock").offsetHeight + "px");
}

function trackBars() {
  const observer = new ResizeObserver(updateBars);
  observer.observe(document.querySelector(".bar"));
  observer.observe($("dock"));
  window.addEventListener("resize", updateBars);
  updateBars();
  document.addEventListener("focusin", (event) => keepInView(event.target));
}

class SessionEnded extends Error {}

async function call(path, body) {
  let response;
  try {
    response = await fetch(path, {
      method: body === undefined ? "GET" : "POST",
      headers: body === undefined ? {} : { "Content-Type": "application/json" },
      body: body === undefined ? undefined : JSON.stringify(body),
      credentials: "same-origin",
      cache: "no-store",
    });
  } catch (e) {
    throw new Error("The server cannot be reached.");
  }
  let json = {};
  try { json = await response.json(); } catch (e) { json = {}; }
  json.status = response.status;
  return json;
}

// Runs commands, each [word, ...fields]; the replies of each command as {word, fields}.
async function run(...commands) {
  const answer = await call("/api/run", {
    commands: commands.map(([command, ...fields]) => ({ command, fields: fields.map(String) })),
  });
  if (answer.status === 401) throw new SessionEnded(answer.error || "Not logged on");
  if (answer.status !== 200) throw new Error(answer.error || "Request failed");
  const replies = answer.replies || [];
  if (answer.loggedOn === false) {
    // The server ended the logon after an error; show the error at the logon screen.
    const error = replies.flat().find((r) => r.word.startsWith("Error"));
    throw new SessionEnded(error ? error.fields[0] : "Not logged on");
  }
  return replies;
}

// Every action of the user: the message of the previous one goes.
function guarded(action) {
  return async (event) => {
    if (event) event.preventDefault();
    say("");
    try {
      await action(event);
    } catch (e) {
      if (e instanceof SessionEnded) {
        toLogon(e.message + "\nThe session has ended; please log on again.");
      } else {
        say(e.message);
      }
    }
  };
}

const logonWords = {
  PassDenied: "Wrong password (PassDenied)",
  UserDenied: "Unknown user (UserDenied)",
  MultipleUsers: "This user is already logged on elsewhere (MultipleUsers)",
};

function toLogon(text) {
  state.db = -1;
  show("logon", appName);
  say(text);
  $("password").value = "";
}

async function logon() {
  const answer = await call("/api/logon", { user: $("user").value, password: $("password").value });
  if (answer.status !== 200) {
    say(logonWords[answer.error] || answer.error || "Logon refused");
    return;
  }
  $("password").value = "";
  say("");
  await showDatabases();
}

async function logoff() {
  await call("/api/logoff", {});
  toLogon("");
}

function fillList(list, names, onPick, emptyText) {
  list.replaceChildren();
  if (names.length === 0) {
    const li = document.createElement("li");
    li.className = "empty";
    li.textContent = emptyText;
    list.append(li);
  }
  names.forEach((name, i) => {
    const li = document.createElement("li");
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = name;
    button.addEventListener("click", guarded(() => onPick(i, name)));
    li.append(button);
    list.append(li);
  });
}

async function showDatabases() {
  const [replies] = await run(["ThankYou"]);
  const list = replies.find((r) => r.word === "Databases");
  fillList($("databases"), list ? list.fields : [], openDatabase, "No database is published.");
  show("databases", "Databases");
}

async function openDatabase(db, name) {
  state.db = db;
  state.dbName = name;
  const [tables, queries] = await run(["RequestTables", db], ["RequestQuery", db]);
  const failed = [...tables, ...queries].find((r) => r.word.startsWith("Error"));
  if (failed) { say(failed.fields[0]); return; }
  fillList($("tables"), tables[0] ? tables[0].fields : [], (i, n) => openObject("table", i, n), "No tables.");
  fillList($("queries"), queries[0] ? queries[0].fields : [], (i, n) => openObject("query", i, n), "No saved queries.");
  say("");
  show("objects", name, guarded(showDatabases));
}

function backToObjects() { return openDatabase(state.db, state.dbName); }

// Shows the replies of a record command: the record, or what the server said.
function showRecordReplies(replies) {
  let shown = false;
  say("");
  for (const reply of replies) {
    const f = reply.fields;
    switch (reply.word) {
      case "Data":
        setRecord(Number(f[0]), f.slice(1));
        shown = true;
        break;
      case "Found":
        setRecord(Number(f[1]), f.slice(2));
        shown = true;
        say("Found in " + (state.fields[Number(f[0]) - 1] || "field " + f[0]), true);
        break;
      case "BOF": say("Beginning of the records (BOF)", true); break;
      case "EOF": say("End of the records (EOF)", true); break;
      case "NoMatch": say("No match (NoMatch)", true); break;
      case "NoDatabase": say("The database file is missing (NoDatabase)"); break;
      case "ErrorUpdate": case "ErrorDB": say(f[0] || reply.word); break;
      default: break;
    }
  }
  return shown;
}

function setRecord(number, values) {
  state.adding = false;
  state.number = number;
  state.values = values;
  if (number > state.count) state.count = number;
  renderRecord();
}

// Memos get several lines, as many as their text needs up to a screenful; other fields
// one line, no longer than the field holds.
function fieldInput(i, value) {
  let input;
  if (state.memo[i]) {
    input = document.createElement("textarea");
    input.rows = Math.min(12, Math.max(3, Math.ceil(value.length / 32) + value.split("\n").length - 1));
  } else {
    input = document.createElement("input");
    if (state.maxLength[i] > 0) input.maxLength = state.maxLength[i];
  }
  input.id = "field-" + i;
  input.name = state.fields[i];
  input.autocapitalize = "none";
  input.value = value;
  return input;
}

function renderRecord() {
  const form = $("record-form");
  const focused = document.activeElement && form.contains(document.activeElement) ? document.activeElement.id : "";
  form.replaceChildren();
  state.fields.forEach((name, i) => {
    const label = document.createElement("label");
    label.htmlFor = "field-" + i;
    label.textContent = name;
    form.append(label, fieldInput(i, state.adding ? "" : (state.values[i] ?? "")));
  });
  if (focused && $(focused)) $(focused).focus();
  $("position").textContent = state.adding
    ? "New record"
    : "Record " + state.number + " of " + state.count;
  $("mode").textContent = state.objectName;
  $("save").textContent = state.adding ? "Add" : "Save";
  $("delete").disabled = state.adding || state.number === 0;
  const sort = $("sort-field");
  sort.replaceChildren(...state.fields.map((name) => new Option(name, name)));
}

const panels = { "find-panel": "find-open", "sort-panel": "sort-open", "confirm-panel": "delete" };

function hidePanels() {
  for (const id of Object.keys(panels)) $(id).hidden = true;
}

// Opens a panel below the record (closing any other) with the focus on `first`, scrolled
// into view above the navigation bar; the same button closes it again.
function togglePanel(id, first) {
  const open = $(id).hidden;
  hidePanels();
  if (!open) return;
  $(id).hidden = false;
  $(first).focus({ preventScroll: true });
  $(id).scrollIntoView({ block: "nearest" });
}

// Closes the open panel; the focus goes back to the button that opened it.
function closePanel() {
  for (const [id, opener] of Object.entries(panels)) {
    if (!$(id).hidden) {
      hidePanels();
      $(opener).focus();
      return true;
    }
  }
  return false;
}

async function openObject(kind, index, name) {
  const word = kind === "table" ? "RequestTheTable" : "RequestTheQuery";
  const [opened, first] = await run([word, state.db, index], ["First"]);
  const fieldList = opened.find((r) => r.word === "Fields");
  if (!fieldList) { showRecordReplies(opened); return; }
  state.kind = kind;
  state.index = index;
  state.objectName = name;
  // The field list starts with the number of records.
  state.count = Number(fieldList.fields[0]);
  state.fields = fieldList.fields.slice(1);
  state.maxLength = fieldList.maxLength || [];
  state.memo = fieldList.memo || [];
  hidePanels();
  show("record", name, guarded(backToObjects));
  if (!showRecordReplies(first)) setRecord(0, []);
}

function formValues() {
  return state.fields.map((_, i) => $("field-" + i).value);
}

async function move(word) {
  hidePanels();
  const [replies] = await run([word]);
  showRecordReplies(replies);
}

function markInvalid(index, text) {
  const input = $("field-" + index);
  if (!input) return;
  const note = document.createElement("p");
  note.id = input.id + "-error";
  note.className = "field-error";
  note.textContent = text;
  input.after(note);
  input.setAttribute("aria-invalid", "true");
  input.setAttribute("aria-describedby", note.id);
  input.focus();
}

function clearInvalid() {
  for (const note of document.querySelectorAll("#record-form .field-error")) note.remove();
  for (const input of document.querySelectorAll("#record-form [aria-invalid]")) {
    input.removeAttribute("aria-invalid");
    input.removeAttribute("aria-describedby");
  }
}

async function save() {
  const adding = state.adding || state.number === 0;
  const typed = formValues();
  const shown = state.values.slice();
  clearInvalid();
  const [replies] = await run([adding ? "Add" : "Update", ...typed]);
  const failed = replies.find((r) => r.word === "ErrorUpdate");
  if (!failed) {
    // The new record comes back last: its number is the new count. Without a record
    // (the database file is missing) the message tells why.
    if (showRecordReplies(replies)) say(adding ? "Added" : "Saved", true);
    return;
  }
  // Nothing was stored. The record that follows is what is stored now: the server checks
  // the next update against it.
  const data = replies.find((r) => r.word === "Data");
  const stored = data ? data.fields.slice(1) : shown;
  const changedByOther = !adding && stored.some((value, i) => value !== shown[i]);
  if (changedByOther) {
    setRecord(Number(data.fields[0]), stored);
    say("Another user changed this record while you edited it, so your changes were not " +
        "saved. The form now shows the record as they left it.", false, true);
    state.mine = typed.map((value, i) => (value !== shown[i] ? value : null));
    return;
  }
  // What the user typed stays in the form, the failing field marked, for another try.
  if (data && !adding) { state.number = Number(data.fields[0]); state.values = stored; }
  const description = failed.fields[0] || "The record was not saved.";
  say(description);
  const named = /field '([^']+)'/.exec(description);
  const index = named ? state.fields.indexOf(named[1]) : -1;
  if (index >= 0) markInvalid(index, description);
}

// The user's changes, lost to a conflict, go into the form over the other user's record,
// to be checked and saved.
function reapply() {
  const mine = state.mine;
  if (!mine) return;
  let first = null;
  mine.forEach((value, i) => {
    const input = $("field-" + i);
    if (value === null || !input) return;
    input.value = value;
    first = first || input;
  });
  say("Your changes are back in the form. Check them and save.", true);
  if (first) first.focus();
}

function startAdd() {
  hidePanels();
  clearInvalid();
  state.adding = true;
  renderRecord();
  const first = $("field-0");
  if (first) first.focus();
}

async function deleteRecord() {
  hidePanels();
  $("delete").focus();
  const [replies] = await run(["Delete"]);
  const failed = replies.some((r) => r.word === "ErrorUpdate");
  if (!failed && state.count > 0) state.count -= 1;
  if (replies.some((r) => r.word === "BOF")) { state.count = 0; setRecord(0, []); }
  showRecordReplies(replies);
  if (!failed) say("Deleted", true);
}

let lastFind = "";

async function find(word) {
  lastFind = $("find-mode").value + "\n" + $("find-text").value;
  const [replies] = await run([word, $("find-mode").value, $("find-text").value]);
  showRecordReplies(replies);
}

// Enter in the Find panel: the first match of a new search, the next one of the same.
function findOnEnter() {
  const same = lastFind === $("find-mode").value + "\n" + $("find-text").value;
  return find(same ? "FindNext" : "FindFirst");
}

async function sort() {
  const [replies] = await run(["Sort", "[" + $("sort-field").value + "]" + $("sort-direction").value]);
  hidePanels();
  $("sort-open").focus();
  showRecordReplies(replies);
}

// --- Queries ---

function quoteValue(text) {
  if (/^-?\d+(\.\d+)?$/.test(text)) return text;
  return "'" + text.replace(/'/g, "''") + "'";
}

function composeSql() {
  const table = state.wizardTables[Number($("query-table").value)] || "";
  const chosen = [...document.querySelectorAll("#query-fields input:checked")].map((c) => c.value);
  const columns = chosen.length ? chosen.map((f) => "[" + f + "]").join(", ") : "*";
  let sql = "SELECT " + columns + " FROM [" + table + "]";
  const field = $("where-field").value;
  const value = $("where-value").value;
  if (field && value !== "") sql += " WHERE [" + field + "] " + $("where-op").value + " " + quoteValue(value);
  $("query-sql").textContent = sql;
  return sql;
}

async function newQuery() {
  const [replies] = await run(["RequestTablesWiz", state.db]);
  const list = replies.find((r) => r.word === "TablesWiz");
  if (!list) { showRecordReplies(replies); return; }
  state.wizardTables = list.fields;
  $("query-table").replaceChildren(...list.fields.map((name, i) => new Option(name, String(i))));
  $("query-name").value = "Web" + Date.now().toString(36);
  $("where-value").value = "";
  say("");
  show("query", "New query", guarded(backToObjects));
  await loadQueryFields();
}

// Each choice of a table asks for its fields; only the answer to the last one fills the form,
// so a slower earlier answer never replaces the fields (and the condition) chosen since.
let fieldsAsked = 0;

async function loadQueryFields() {
  const asked = ++fieldsAsked;
  const [replies] = await run(["RequestTheFieldsWiz", state.db, $("query-table").value]);
  if (asked !== fieldsAsked) return;
  const list = replies.find((r) => r.word === "FieldsWiz");
  const fields = list ? list.fields : [];
  const box = $("query-fields");
  box.replaceChildren();
  for (const name of fields) {
    const label = document.createElement("label");
    const check = document.createElement("input");
    check.type = "checkbox";
    check.value = name;
    check.checked = true;
    check.addEventListener("change", composeSql);
    label.append(check, document.createTextNode(name));
    box.append(label);
  }
  // The same table asked for again keeps the field its condition was on.
  const chosen = $("where-field").value;
  $("where-field").replaceChildren(new Option("(no condition)", ""), ...fields.map((n) => new Option(n, n)));
  if (fields.includes(chosen)) $("where-field").value = chosen;
  composeSql();
}

async function runQuery() {
  const sql = composeSql();
  const name = $("query-name").value.trim();
  if (!name) { say("Give the query a name."); return; }
  const [created] = await run(["CreateQuery", name, sql]);
  const fieldList = created.find((r) => r.word === "FieldsCreateQuery");
  if (!fieldList) { showRecordReplies(created); return; }
  state.queryOpen = true;
  state.queryKept = false;
  state.queryFields = fieldList.fields.slice(1);
  const batches = await run(...Array.from({ length: 100 }, () => ["SendQueryData"]));
  const rows = [];
  for (const replies of batches) {
    const row = replies.find((r) => r.word === "QueryData");
    if (!row) break;
    rows.push(row.fields);
  }
  const table = $("results");
  const caption = document.createElement("caption");
  caption.id = "results-caption";
  caption.textContent = "Results of " + name;
  const head = document.createElement("tr");
  head.append(...state.queryFields.map((f) => { const th = document.createElement("th"); th.textContent = f; return th; }));
  const body = rows.map((values) => {
    const tr = document.createElement("tr");
    tr.append(...values.map((v) => { const td = document.createElement("td"); td.textContent = v; return td; }));
    return tr;
  });
  const thead = document.createElement("thead");
  thead.append(head);
  const tbody = document.createElement("tbody");
  tbody.append(...body);
  table.replaceChildren(caption, thead, tbody);
  const total = Number(fieldList.fields[0]);
  $("results-count").textContent =
    total > rows.length ? "First " + rows.length + " of " + total + " records" : rows.length + " records";
  say("");
  show("results", name, guarded(discardQuery));
}

async function keepQuery() {
  const [replies] = await run(["SaveQuery", state.db]);
  if (replies.some((r) => r.word.startsWith("Error"))) { showRecordReplies(replies); return; }
  state.queryOpen = false;
  await backToObjects();
  say("Query kept", true);
}

async function discardQuery() {
  if (state.queryOpen) await run(["RemoveQuery"]);
  state.queryOpen = false;
  await backToObjects();
}

function onEnter(element, action) {
  element.addEventListener("keydown", (event) => {
    if (event.key !== "Enter" || event.isComposing || event.shiftKey || event.target.tagName === "TEXTAREA") return;
    action(event);
  });
}

function wire() {
  trackBars();
  document.addEventListener("keydown", (event) => {
    if (event.key === "Escape" && closePanel()) event.preventDefault();
  });
  $("reapply").addEventListener("click", reapply);
  onEnter($("record-form"), guarded(save));
  onEnter($("find-text"), guarded(findOnEnter));
  $("logon-form").addEventListener("submit", guarded(logon));
  $("logoff").addEventListener("click", guarded(logoff));
  $("back").addEventListener("click", () => backAction && backAction());
  $("record-form").addEventListener("submit", guarded(save));
  $("first").addEventListener("click", guarded(() => move("First")));
  $("prev").addEventListener("click", guarded(() => move("Prev")));
  $("next").addEventListener("click", guarded(() => move("Next")));
  $("last").addEventListener("click", guarded(() => move("Last")));
  $("save").addEventListener("click", guarded(save));
  $("add").addEventListener("click", guarded(startAdd));
  // The confirmation takes the focus on Cancel: Enter or a slip does not delete.
  $("delete").addEventListener("click", guarded(() => togglePanel("confirm-panel", "cancel-delete")));
  $("cancel-delete").addEventListener("click", guarded(closePanel));
  $("confirm-delete").addEventListener("click", guarded(deleteRecord));
  $("find-open").addEventListener("click", guarded(() => togglePanel("find-panel", "find-text")));
  $("sort-open").addEventListener("click", guarded(() => togglePanel("sort-panel", "sort-field")));
  $("find-first").addEventListener("click", guarded(() => find("FindFirst")));
  $("find-next").addEventListener("click", guarded(() => find("FindNext")));
  $("sort").addEventListener("click", guarded(sort));
  $("new-query").addEventListener("click", guarded(newQuery));
  $("query-table").addEventListener("change", guarded(loadQueryFields));
  for (const id of ["where-field", "where-op", "where-value"]) $(id).addEventListener("input", composeSql);
  $("run-query").addEventListener("click", guarded(runQuery));
  $("keep-query").addEventListener("click", guarded(keepQuery));
  $("discard-query").addEventListener("click", guarded(discardQuery));
}

wire();
guarded(async () => {
  const session = await call("/api/session");
  if (session.loggedOn) await showDatabases(); else toLogon("");
})();
