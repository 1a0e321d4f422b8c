// The supervisor's console. Everything from the server is shown as text (textContent), never
// as markup: host names, pupils' names and messages come from the classroom's computers.
"use strict";

const STATES = {
  connected: "подключён", choosing: "выбирает тест", downloading: "загружает",
  examinee: "окно ученика", testing: "тестируется", paused: "пауза",
  disconnected: "отключён", silent: "не отвечает",
};
const MODES = { none: "ничего не предложено", choice: "список на выбор", set: "один тест" };

let state = { stations: [], tests: [], mode: "none", pollMs: 3000 };
const selected = new Set();
let socket = null;

function el(tag, text, cls) {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = String(text);
  if (cls) e.className = cls;
  return e;
}

function minutesSince(ms) { return Math.max(0, Math.floor((Date.now() - ms) / 60000)); }

function stateWord(s) {
  if (s.state === "disconnected") return [STATES.disconnected + " " + minutesSince(s.goneAt) + " мин", "disconnected"];
  if (s.silent) return [STATES.silent, "silent"];
  if (s.state === "downloading" && s.percent >= 0) return [STATES.downloading + " " + s.percent + "%", "downloading"];
  return [STATES[s.state] || s.state, s.state];
}

function renderStations() {
  const body = document.querySelector("#stations tbody");
  body.replaceChildren();
  const rows = state.stations.slice().sort((a, b) => a.number - b.number);
  document.getElementById("empty").hidden = rows.length > 0;
  for (const s of rows) {
    const tr = el("tr");
    tr.dataset.number = s.number;
    if (selected.has(s.number)) tr.classList.add("selected");
    const box = el("input");
    box.type = "checkbox";
    box.checked = selected.has(s.number);
    box.addEventListener("change", () => {
      if (box.checked) selected.add(s.number); else selected.delete(s.number);
      renderStations();
    });
    const first = el("td"); first.append(box); tr.append(first);
    tr.append(el("td", s.number), el("td", s.host || "—"), el("td", s.address));
    const [word, cls] = stateWord(s);
    const stateCell = el("td"); stateCell.append(el("span", word, "state s-" + cls)); tr.append(stateCell);
    tr.append(el("td", s.test || ""), el("td", s.name || ""),
      el("td", s.testingSince ? minutesSince(s.testingSince) + " мин" : ""));
    body.append(tr);
  }
}

function renderTests() {
  document.getElementById("mode").textContent = MODES[state.mode] || state.mode;
  const body = document.querySelector("#testlist tbody");
  body.replaceChildren();
  for (const t of state.tests) {
    const tr = el("tr");
    const set = el("button", "Задать всем");
    set.addEventListener("click", () => send({ action: "set", test: t.file }));
    const cell = el("td"); cell.append(set);
    tr.append(el("td", t.file), el("td", t.class), el("td", t.subject),
      el("td", Math.ceil(t.size / 1024) + " КБ"), cell);
    body.append(tr);
  }
}

function addLog(lines) {
  const pre = document.getElementById("loglines");
  const atEnd = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
  for (const l of lines) pre.append(document.createTextNode(l + "\n"));
  while (pre.childNodes.length > 1000) pre.firstChild.remove();
  if (atEnd) pre.scrollTop = pre.scrollHeight;
}

function send(request) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(request));
}

function act(action) {
  const all = document.querySelector("input[name=who]:checked").value === "all";
  const targets = all ? ["all"] : [...selected].map(String);
  if (targets.length === 0) { alert("Выберите компьютеры или «всем»."); return; }
  if (all && !confirm("Это действие коснётся всех компьютеров. Продолжить?")) return;
  const request = { action };
  if (action === "allow" || action === "resume") request.password = document.getElementById("password").value;
  if (action === "message") {
    request.text = document.getElementById("message").value.trim();
    if (!request.text) return;
  }
  for (const who of targets) send(Object.assign({ who }, request));
}

function connect() {
  socket = new WebSocket((location.protocol === "https:" ? "wss://" : "ws://") + location.host + "/ws");
  const link = document.getElementById("link");
  socket.addEventListener("open", () => { link.textContent = "на связи"; link.classList.add("on"); });
  socket.addEventListener("close", () => {
    link.textContent = "нет связи"; link.classList.remove("on");
    setTimeout(connect, 2000);
  });
  socket.addEventListener("message", (e) => {
    const m = JSON.parse(e.data);
    if (m.type === "state") { state = m; renderStations(); renderTests(); }
    else if (m.type === "log") addLog(m.lines);
  });
}

document.addEventListener("DOMContentLoaded", () => {
  for (const b of document.querySelectorAll("nav button"))
    b.addEventListener("click", () => {
      for (const o of document.querySelectorAll("nav button")) o.classList.toggle("current", o === b);
      for (const v of document.querySelectorAll(".view")) v.hidden = v.id !== b.dataset.view;
    });
  for (const b of document.querySelectorAll("[data-action]"))
    b.addEventListener("click", () => act(b.dataset.action));
  for (const b of document.querySelectorAll("[data-mode]"))
    b.addEventListener("click", () => send({ action: b.dataset.mode }));
  document.getElementById("shuffle").addEventListener("change", (e) => send({ action: "shuffle", on: e.target.checked }));
  // Disconnected minutes and times in test move on between changes.
  setInterval(renderStations, 30000);
  connect();
});
