// The supervisor's console. Everything from the server is shown as text (textContent), never
// as markup: host names, pupils' names and messages come from the classroom's computers.
"use strict";

const TEXTS = {
  ru: {
    title: "Kvizor — класс", offline: "нет связи", online: "на связи", classroom: "Класс",
    tests: "Тесты", results: "Результаты", log: "Журнал", password: "Пароль теста",
    allow: "Разрешить", forbid: "Запретить", pause: "Пауза", resume: "Продолжить",
    messageText: "Сообщение ученикам", send: "Отправить", toSelected: "выбранным", toAll: "всем",
    host: "Компьютер", address: "Адрес", state: "Состояние", test: "Тест", pupil: "Ученик",
    time: "Время", score: "Балл", mark: "Оценка", noStations: "Ни одного компьютера не подключено.",
    modeIs: "Режим:", offerList: "Автоматический режим: выбор из списка",
    offerNothing: "Ничего не предлагать", shuffle: "Перемешивать вопросы", file: "Файл",
    klass: "Класс", subject: "Предмет", size: "Размер", hasPassword: "Пароль", marks: "Оценки",
    downloadCsv: "Скачать CSV", downloadJson: "Скачать JSON", rightOf: "Верно / отвечено / всего",
    started: "Начало", finished: "Конец", duration: "Длительность", close: "Закрыть",
    topic: "Тема", rightAnswer: "Верный ответ", given: "Ответ ученика", verdict: "Итог",
    yes: "да", no: "нет", setForAll: "Задать всем", kb: "КБ", min: "мин",
    right: "верно", wrong: "неверно", notAnswered: "нет ответа", resultsCount: "Результатов: ",
    chooseStations: "Выберите компьютеры или «всем».",
    confirmAll: "Это действие коснётся всех компьютеров. Продолжить?",
    needPassword: "Тест «%s» защищён паролем: введите пароль теста.",
    wrongPassword: "Пароль не подходит к тесту «%s».",
    s_connected: "подключён", s_choosing: "выбирает тест", s_downloading: "загружает",
    s_examinee: "окно ученика", s_testing: "тестируется", s_paused: "пауза",
    s_finished: "закончил", s_disconnected: "отключён", s_silent: "не отвечает",
    m_none: "ничего не предложено", m_choice: "автоматический: ученик выбирает из списка",
    m_set: "один тест для всех: ",
  },
  en: {
    title: "Kvizor — classroom", offline: "offline", online: "online", classroom: "Classroom",
    tests: "Tests", results: "Results", log: "Log", password: "Test password",
    allow: "Allow", forbid: "Forbid", pause: "Pause", resume: "Resume",
    messageText: "Message to pupils", send: "Send", toSelected: "selected", toAll: "all",
    host: "Computer", address: "Address", state: "State", test: "Test", pupil: "Pupil",
    time: "Time", score: "Score", mark: "Mark", noStations: "No computer is connected.",
    modeIs: "Mode:", offerList: "Automatic mode: choice from the list",
    offerNothing: "Offer nothing", shuffle: "Shuffle questions", file: "File",
    klass: "Class", subject: "Subject", size: "Size", hasPassword: "Password", marks: "Marks",
    downloadCsv: "Download CSV", downloadJson: "Download JSON", rightOf: "Right / answered / total",
    started: "Started", finished: "Finished", duration: "Duration", close: "Close",
    topic: "Topic", rightAnswer: "Right answer", given: "Pupil's answer", verdict: "Verdict",
    yes: "yes", no: "no", setForAll: "Set for all", kb: "KB", min: "min",
    right: "right", wrong: "wrong", notAnswered: "not answered", resultsCount: "Results: ",
    chooseStations: "Select computers or “all”.",
    confirmAll: "This affects every computer. Go on?",
    needPassword: "The test “%s” has a password: type the test's password.",
    wrongPassword: "The password does not open the test “%s”.",
    s_connected: "connected", s_choosing: "choosing", s_downloading: "downloading",
    s_examinee: "pupil's window", s_testing: "testing", s_paused: "paused",
    s_finished: "finished", s_disconnected: "disconnected", s_silent: "not answering",
    m_none: "nothing offered", m_choice: "automatic: the pupil chooses from the list",
    m_set: "one test for all: ",
  },
};
const LANG = TEXTS[document.documentElement.lang] ? document.documentElement.lang : "ru";
const T = TEXTS[LANG];

let state = { stations: [], tests: [], mode: "none", pollMs: 3000 };
let results = [];
let skew = 0; // the server's clock less this one
const selected = new Set();
let socket = null;

function el(tag, text, cls) {
  const e = document.createElement(tag);
  if (text !== undefined && text !== null) e.textContent = String(text);
  if (cls) e.className = cls;
  return e;
}
function serverNow() { return Date.now() + skew; }
function minutesSince(ms) { return Math.max(0, Math.floor((serverNow() - ms) / 60000)); }

function stateWord(s) {
  if (s.gone) return [T.s_disconnected + " " + minutesSince(s.goneAt) + " " + T.min, "disconnected"];
  if (s.silent) return [T.s_silent, "silent"];
  if (s.state === "downloading" && s.percent >= 0) return [T.s_downloading + " " + s.percent + "%", "downloading"];
  return [T["s_" + s.state] || s.state, s.state];
}

function byHost(a, b) {
  return (a.host || "\uffff").localeCompare(b.host || "\uffff", undefined, { numeric: true }) ||
    a.address.localeCompare(b.address, undefined, { numeric: true }) || a.number - b.number;
}

function renderStations() {
  const body = document.querySelector("#stations tbody");
  body.replaceChildren();
  const rows = state.stations.slice().sort(byHost);
  document.getElementById("empty").hidden = rows.length > 0;
  for (const s of rows) {
    const tr = el("tr");
    tr.dataset.number = s.number;
    if (s.gone) tr.classList.add("gone");
    if (selected.has(s.number)) tr.classList.add("selected");
    const box = el("input");
    box.type = "checkbox";
    box.checked = selected.has(s.number);
    box.disabled = !!s.gone;
    box.addEventListener("change", () => {
      if (box.checked) selected.add(s.number); else selected.delete(s.number);
      renderStations();
    });
    const first = el("td"); first.append(box); tr.append(first);
    tr.append(el("td", s.number), el("td", s.host || "—"), el("td", s.address));
    const [word, cls] = stateWord(s);
    const stateCell = el("td"); stateCell.append(el("span", word, "state s-" + cls)); tr.append(stateCell);
    let time = "";
    if (s.spent) time = s.spent;
    else if (s.testingSince) time = minutesSince(s.testingSince) + " " + T.min;
    tr.append(el("td", s.test || ""), el("td", s.name || ""), el("td", time),
      el("td", s.score !== undefined ? s.score + "%" : ""), el("td", s.mark || "", "mark"));
    body.append(tr);
  }
}

function modeText() {
  if (state.mode === "set") return T.m_set + (state.setTest || "");
  return T["m_" + state.mode] || state.mode;
}

function renderTests() {
  document.getElementById("mode").textContent = modeText();
  document.getElementById("shuffle").checked = !!state.shuffle;
  const body = document.querySelector("#testlist tbody");
  body.replaceChildren();
  for (const t of state.tests) {
    const tr = el("tr");
    if (state.mode === "set" && state.setTest === t.file) tr.classList.add("selected");
    const set = el("button", T.setForAll);
    set.addEventListener("click", () => send({ action: "set", test: t.file }));
    const cell = el("td"); cell.append(set);
    const pw = t.password === undefined ? "?" : (t.password ? T.yes : T.no);
    tr.append(el("td", t.file), el("td", t.class), el("td", t.subject),
      el("td", Math.ceil(t.size / 1024) + " " + T.kb), el("td", pw),
      el("td", (t.marks || []).join(", ")), cell);
    body.append(tr);
  }
}

function renderResults() {
  const body = document.querySelector("#resultlist tbody");
  body.replaceChildren();
  document.getElementById("resultCount").textContent = T.resultsCount + results.length;
  for (const r of results.slice().reverse()) {
    const tr = el("tr", undefined, "clickable");
    tr.dataset.id = r.id;
    tr.append(el("td", r.examinee), el("td", r.class), el("td", r.test), el("td", r.score + "%"),
      el("td", r.mark, "mark"), el("td", r.right + " / " + r.answered + " / " + r.questions),
      el("td", r.started), el("td", r.finished), el("td", r.spent));
    tr.addEventListener("click", () => openResult(r.id));
    body.append(tr);
  }
}

async function openResult(id) {
  const answer = await fetch("/result?id=" + encodeURIComponent(id), { credentials: "same-origin" });
  if (!answer.ok) return;
  const r = await answer.json();
  document.getElementById("detailTitle").textContent =
    r.examinee + " — " + r.test + " — " + r.score + "%" + (r.mark ? " — " + r.mark : "");
  const body = document.querySelector("#detaillist tbody");
  body.replaceChildren();
  for (const q of r.items) {
    const tr = el("tr", undefined, q.right ? "right" : "wrong");
    tr.append(el("td", q.item), el("td", q.topic), el("td", q.rightAnswer),
      el("td", q.answered ? q.given : T.notAnswered), el("td", q.time),
      el("td", q.right ? T.right : T.wrong));
    body.append(tr);
  }
  document.getElementById("detail").hidden = false;
  document.getElementById("detail").scrollIntoView();
}

function addLog(lines) {
  const pre = document.getElementById("loglines");
  const atEnd = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
  for (const l of lines) pre.append(document.createTextNode(l + "\n"));
  while (pre.childNodes.length > 1000) pre.firstChild.remove();
  if (atEnd) pre.scrollTop = pre.scrollHeight;
}

function notice(text) {
  const p = document.getElementById("notice");
  p.textContent = text;
  p.hidden = !text;
}

function send(request) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(request));
}

function setTestNeedsPassword() {
  const t = state.tests.find((x) => x.file === state.setTest);
  return state.mode === "set" && t && t.password === true ? t : null;
}

function act(action) {
  const all = document.querySelector("input[name=who]:checked").value === "all";
  const targets = all ? ["all"] : [...selected].map(String);
  if (targets.length === 0) { notice(T.chooseStations); return; }
  const request = { action };
  if (action === "allow" || action === "resume") {
    const field = document.getElementById("password");
    request.password = field.value;
    const locked = setTestNeedsPassword();
    if (action === "allow" && locked && !request.password) {
      notice(T.needPassword.replace("%s", locked.file));
      field.focus();
      return;
    }
  }
  if (action === "message") {
    request.text = document.getElementById("message").value.trim();
    if (!request.text) return;
  }
  if (all && !confirm(T.confirmAll)) return;
  notice("");
  for (const who of targets) send(Object.assign({ who }, request));
}

function connect() {
  socket = new WebSocket((location.protocol === "https:" ? "wss://" : "ws://") + location.host + "/ws");
  const link = document.getElementById("link");
  socket.addEventListener("open", () => { link.textContent = T.online; link.classList.add("on"); });
  socket.addEventListener("close", () => {
    link.textContent = T.offline; link.classList.remove("on");
    setTimeout(connect, 2000);
  });
  socket.addEventListener("message", (e) => {
    const m = JSON.parse(e.data);
    if (m.type === "state") {
      if (m.now) skew = m.now - Date.now();
      state = m;
      const live = new Set(m.stations.filter((s) => !s.gone).map((s) => s.number));
      for (const n of [...selected]) if (!live.has(n)) selected.delete(n);
      renderStations(); renderTests();
    } else if (m.type === "log") addLog(m.lines);
    else if (m.type === "results") { results = m.results; renderResults(); }
    else if (m.type === "result") { results.push(m.result); renderResults(); }
    else if (m.type === "refused") {
      notice((m.reason === "password-needed" ? T.needPassword : T.wrongPassword).replace("%s", m.test));
      document.getElementById("password").focus();
    }
  });
}

document.addEventListener("DOMContentLoaded", () => {
  document.title = T.title;
  for (const e of document.querySelectorAll("[data-t]")) e.textContent = T[e.dataset.t];
  for (const e of document.querySelectorAll("[data-tp]")) e.placeholder = T[e.dataset.tp];
  for (const b of document.querySelectorAll("nav button"))
    b.addEventListener("click", () => {
      for (const o of document.querySelectorAll("nav button")) o.classList.toggle("current", o === b);
      for (const v of document.querySelectorAll(".view")) v.hidden = v.id !== b.dataset.view;
    });
  // A button acts on workstations (data-action) or sets what the server offers (data-mode).
  for (const b of document.querySelectorAll("[data-action], [data-mode]"))
    b.addEventListener("click", () =>
      b.dataset.action ? act(b.dataset.action) : send({ action: b.dataset.mode }));
  document.getElementById("shuffle").addEventListener("change", (e) => send({ action: "shuffle", on: e.target.checked }));
  document.getElementById("selectAll").addEventListener("change", (e) => {
    selected.clear();
    if (e.target.checked) for (const s of state.stations) if (!s.gone) selected.add(s.number);
    renderStations();
  });
  document.getElementById("detailClose").addEventListener("click", () => { document.getElementById("detail").hidden = true; });
  // Disconnected minutes and times in test move on between changes.
  setInterval(renderStations, 20000);
  connect();
});
