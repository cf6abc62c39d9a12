"use strict";
// The Corvane web client: runs the client commands on the server through /api/run and
// shows their replies. Values are shown exactly as the server formats them.

const $ = (id) => document.getElementById(id);

const state = {
  db: -1, dbName: "", kind: "", index: -1, objectName: "",
  fields: [], values: [], number: 0, count: 0, adding: false,
  wizardTables: [], wizardFields: [], queryFields: [], queryKept: false, queryOpen: false,
};

const screens = ["logon", "databases", "objects", "record", "query", "results"];
let backAction = null;

function show(screen, title, back) {
  for (const name of screens) $(name + "-screen").hidden = name !== screen;
  $("title").textContent = title;
  $("back").hidden = !back;
  backAction = back || null;
  $("logoff").hidden = screen === "logon";
  $("record-nav").hidden = screen !== "record";
  window.scrollTo(0, 0);
}

function say(text, info) {
  const box = $("message");
  box.textContent = text || "";
  box.hidden = !text;
  box.classList.toggle("info", !!info);
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

function guarded(action) {
  return async (event) => {
    if (event) event.preventDefault();
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
  show("logon", "Corvane Database");
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

function renderRecord() {
  const form = $("record-form");
  form.replaceChildren();
  state.fields.forEach((name, i) => {
    const id = "field-" + i;
    const label = document.createElement("label");
    label.htmlFor = id;
    label.textContent = name;
    const input = document.createElement("input");
    input.id = id;
    input.name = name;
    input.autocapitalize = "none";
    input.value = state.adding ? "" : (state.values[i] ?? "");
    form.append(label, input);
  });
  $("position").textContent = state.adding
    ? "New record"
    : "Record " + state.number + " of " + state.count;
  $("mode").textContent = state.objectName;
  $("save").textContent = state.adding ? "Add" : "Save";
  $("delete").disabled = state.adding || state.number === 0;
  const sort = $("sort-field");
  sort.replaceChildren(...state.fields.map((name) => new Option(name, name)));
}

function hidePanels() {
  for (const id of ["find-panel", "sort-panel", "confirm-panel"]) $(id).hidden = true;
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

async function save() {
  const adding = state.adding || state.number === 0;
  const [replies] = await run([adding ? "Add" : "Update", ...formValues()]);
  // The new record comes back last: its number is the new count.
  showRecordReplies(replies);
  if (!replies.some((r) => r.word.startsWith("Error"))) say(adding ? "Added" : "Saved", true);
}

function startAdd() {
  hidePanels();
  state.adding = true;
  renderRecord();
  const first = $("field-0");
  if (first) first.focus();
}

async function deleteRecord() {
  hidePanels();
  const [replies] = await run(["Delete"]);
  const failed = replies.some((r) => r.word === "ErrorUpdate");
  if (!failed && state.count > 0) state.count -= 1;
  if (replies.some((r) => r.word === "BOF")) { state.count = 0; setRecord(0, []); }
  showRecordReplies(replies);
  if (!failed) say("Deleted", true);
}

async function find(word) {
  const [replies] = await run([word, $("find-mode").value, $("find-text").value]);
  showRecordReplies(replies);
}

async function sort() {
  const [replies] = await run(["Sort", "[" + $("sort-field").value + "]" + $("sort-direction").value]);
  hidePanels();
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

async function loadQueryFields() {
  const [replies] = await run(["RequestTheFieldsWiz", state.db, $("query-table").value]);
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
  $("where-field").replaceChildren(new Option("(no condition)", ""), ...fields.map((n) => new Option(n, n)));
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
  const head = document.createElement("tr");
  head.append(...state.queryFields.map((f) => { const th = document.createElement("th"); th.textContent = f; return th; }));
  const body = rows.map((values) => {
    const tr = document.createElement("tr");
    tr.append(...values.map((v) => { const td = document.createElement("td"); td.textContent = v; return td; }));
    return tr;
  });
  table.replaceChildren(head, ...body);
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

function wire() {
  $("logon-form").addEventListener("submit", guarded(logon));
  $("logoff").addEventListener("click", guarded(logoff));
  $("back").addEventListener("click", () => backAction && backAction());
  $("record-form").addEventListener("submit", guarded(save));
  $("first").addEventListener("click", guarded(() => move("First")));
  $("prev").addEventListener("click", guarded(() => move("Prev")));
  $("next").addEventListener("click", guarded(() => move("Next")));
  $("last").addEventListener("click", guarded(() => move("Last")));
  $("save").addEventListener("click", guarded(save));
  $("add").addEventListener("click", startAdd);
  $("delete").addEventListener("click", () => { hidePanels(); $("confirm-panel").hidden = false; });
  $("cancel-delete").addEventListener("click", hidePanels);
  $("confirm-delete").addEventListener("click", guarded(deleteRecord));
  $("find-open").addEventListener("click", () => { const open = $("find-panel").hidden; hidePanels(); $("find-panel").hidden = !open; });
  $("sort-open").addEventListener("click", () => { const open = $("sort-panel").hidden; hidePanels(); $("sort-panel").hidden = !open; });
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
