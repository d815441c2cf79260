// The panel's page: draws the session's FormState that vx37d sends and sends the page's
// events back. The session in vx37d decides everything; nothing here sends codes, reads
// replies or times anything.
"use strict";

const form = document.getElementById("Form1");
const stage = document.getElementById("stage");
const control = (name) => form.querySelector(`[data-control="${name}"]`);
const spokenCaptions = JSON.parse(form.dataset.spokenCaptions);
const designWidth = form.offsetWidth;
const twipsPerPixel = 15;

const scheme = location.protocol === "https:" ? "wss:" : "ws:";
const socket = new WebSocket(`${scheme}//${location.host}/session`);
const send = (message) => {
    if (socket.readyState === WebSocket.OPEN)
        socket.send(JSON.stringify(message));
};

// A narrower window shows the whole panel scaled to its width.
function fit() {
    const scale = Math.min(1, document.documentElement.clientWidth / designWidth);
    stage.style.transform = scale < 1 ? `scale(${scale})` : "";
}
addEventListener("resize", fit);
fit();

function setText(name, text) {
    const element = control(name);
    if (element.textContent !== text)
        element.textContent = text;
}

function draw(state) {
    if (state.height > 0) {
        const client = Math.round(state.height / twipsPerPixel) - Number(form.dataset.frame);
        form.style.height = `${Math.max(client, 1)}px`;
    }
    setText("Label11", state.txdLine);
    setText("Label12", state.rxdLine);
    setText("Label22", state.statusLine);
    control("Frame8").classList.toggle("hidden", !state.frame8Visible);
    control("Option1").title = state.portDescriptions[0];
    control("Option2").title = state.portDescriptions[1];
    for (const [name, selected] of [["Option1", state.option1Selected],
                                    ["Option2", state.option2Selected],
                                    ["Option9", state.option9Selected],
                                    ["Option10", state.option10Selected]]) {
        control(name).querySelector("input").checked = selected;
        control(name).setAttribute("aria-checked", String(selected));
    }
    const view = control("Command34");
    view.classList.toggle("hidden", !state.command34Visible);
    view.firstElementChild.textContent = state.command34Caption;
    view.setAttribute("aria-label", spokenCaptions[state.command34Caption] || state.command34Caption);
    const entry = control("Text1");
    if (entry.value !== state.text1)
        entry.value = state.text1;
    form.dataset.session = "open"; // drawn from the session at least once
}

// The held button: pressed on the pointer, released on its release or on whatever takes
// the pointer away, so that no repeat runs on.
let held = null;
function release() {
    if (!held)
        return;
    held.classList.remove("down");
    send({event: "up", control: held.dataset.control});
    held = null;
}

function showDialog(message) {
    release(); // the dialog takes the pointer
    const dialog = document.getElementById("dialog");
    dialog.querySelector("h1").textContent = message.caption;
    dialog.querySelector("p").textContent = message.text;
    if (!dialog.open)
        dialog.showModal();
}

function gone(text) {
    release();
    const notice = document.getElementById("gone");
    notice.textContent = text;
    notice.classList.remove("hidden");
    form.inert = true;
}

socket.addEventListener("message", (event) => {
    let message;
    try {
        message = JSON.parse(event.data);
    } catch {
        return;
    }
    if (message.form)
        draw(message.form);
    else if (message.dialog)
        showDialog(message.dialog);
    else if (message.ended)
        gone("The session has ended. Reload the page to start another.");
});
socket.addEventListener("close", () => {
    if (document.getElementById("gone").classList.contains("hidden"))
        gone("The connection to vx37d is lost. Reload the page to connect again.");
});

for (const button of form.querySelectorAll(".button")) {
    const name = button.dataset.control;
    if (!("hold" in button.dataset)) {
        button.addEventListener("click", () => send({event: "click", control: name}));
        continue;
    }
    // Held buttons act on the pointer alone (mouse, pen or touch), as the window's act
    // on the mouse; the keyboard does not press them.
    button.addEventListener("pointerdown", (event) => {
        if (held)
            return;
        event.preventDefault();
        button.setPointerCapture(event.pointerId);
        held = button;
        button.classList.add("down");
        send({event: "down", control: name});
    });
    for (const type of ["pointerup", "pointercancel", "lostpointercapture"])
        button.addEventListener(type, () => {
            if (held === button)
                release();
        });
    button.addEventListener("contextmenu", (event) => event.preventDefault());
}
addEventListener("blur", release);
addEventListener("pagehide", release);
document.addEventListener("visibilitychange", () => {
    if (document.hidden)
        release();
});

for (const option of form.querySelectorAll(".option")) {
    option.setAttribute("role", "radio");
    option.addEventListener("click", (event) => {
        event.preventDefault(); // the session says which option is selected
        send({event: "click", control: option.dataset.control});
    });
    option.addEventListener("keydown", (event) => {
        if (event.key === " ")
            option.click();
    });
}

control("Image1").addEventListener("dblclick", () => send({event: "dblclick", control: "Image1"}));
const entry = control("Text1");
entry.addEventListener("input", () => send({event: "text", control: "Text1", text: entry.value}));

// Every key goes to the panel first, as to the window's key preview, and on to the
// control with the focus; only the service chord is kept from the browser.
document.addEventListener("keydown", (event) => {
    if (event.key.length !== 1 || document.getElementById("dialog").open)
        return;
    const key = event.key.toUpperCase();
    send({event: "key", key, ctrl: event.ctrlKey, shift: event.shiftKey, alt: event.altKey});
    if (key === "K" && event.ctrlKey && !event.shiftKey && !event.altKey)
        event.preventDefault();
}, true);
