#include "remote/setup_page_html.h"

namespace morvane::remote {

QString setupPageTemplate() {
    return QStringLiteral(R"html(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="color-scheme" content="dark">
<title>{{server}}: setup</title>
<style>
:root { color-scheme: dark; }
body { background: #0e0a09; color: #d8c9ba; margin: 0 auto; max-width: 40rem;
       padding: 0.8rem 1.1rem 3rem; font: 1.2rem/1.5 "DejaVu Sans", system-ui, sans-serif; }
h1 { color: #e3a44a; font-size: 1.7rem; margin: 0.3rem 0 0; }
h2 { color: #e3a44a; font-size: 1.3rem; margin: 1.5rem 0 0.4rem;
     border-bottom: 1px solid #4d241b; padding-bottom: 0.2rem; }
.byline, .note, .once { color: #a08d7c; }
.once { display: block; font-size: 1rem; }
.byline { margin: 0 0 0.6rem; }
.note { font-size: 1rem; margin: 0.6rem 0 0; }
dl { display: grid; grid-template-columns: max-content 1fr; gap: 0.35rem 1rem; margin: 0; }
dt { color: #a08d7c; }
dd { margin: 0; overflow-wrap: anywhere; }
strong { color: #e3a44a; }
fieldset { border: 1px solid #4d241b; border-radius: 0.5rem; margin: 1rem 0 0;
           padding: 0.4rem 1rem 1rem; }
legend { color: #e3a44a; font-weight: bold; padding: 0 0.4rem; }
label { display: block; margin: 0.7rem 0 0.2rem; }
input[type=number], input[type=text] { box-sizing: border-box; width: 100%;
       font-size: 1.25rem; padding: 0.5rem 0.6rem; border-radius: 0.4rem;
       background: #1d1412; color: #eadbcc; border: 1px solid #70382a; }
input:focus { outline: 2px solid #e3a44a; outline-offset: 1px; }
input:disabled { opacity: 0.45; }
input:invalid { border-color: #e0584a; }
.check { display: flex; align-items: center; gap: 0.7rem; margin: 0.8rem 0 0.1rem; }
.check label { margin: 0; }
input[type=checkbox] { width: 1.6rem; height: 1.6rem; margin: 0; accent-color: #b3362c; }
button { width: 100%; margin-top: 1.3rem; padding: 0.8rem; border: 0; border-radius: 0.5rem;
         font-size: 1.3rem; font-weight: bold; background: #8c211b; color: #f0e2d3; }
button:focus { outline: 2px solid #e3a44a; outline-offset: 2px; }
button:active { background: #b3362c; }
#status { min-height: 1.5em; margin: 0.8rem 0 0; font-weight: bold; }
#status.saved { color: #e3a44a; }
#status.failed { color: #f07464; }
code { font-size: 1rem; overflow-wrap: anywhere; }
</style></head>
<body>
<h1>{{server}}</h1>
<p class="byline">{{device}}: ASCOM Alpaca Telescope 0, version {{version}}</p>

<h2>Now</h2>
<dl>
<dt>Mount</dt><dd id="port">{{port}}, <strong>{{portState}}</strong></dd>
<dt>Alpaca</dt><dd id="alpaca-served">{{alpacaServed}} <span class="once">{{alpacaOnce}}</span></dd>
<dt>Stellarium</dt><dd id="stellarium-served">{{stellariumServed}} <span class="once">{{stellariumOnce}}</span></dd>
</dl>
<p class="note">The port is chosen in the window. A client that connects opens it as
COM OPEN does; CLOSE in the window closes it for everyone.</p>

<form id="settings">
<h2>Settings</h2>
<fieldset><legend>Site</legend>
<label for="latitude">Latitude (degrees, north positive)</label>
<input id="latitude" name="latitude" type="number" step="any" min="-90" max="90" required value="{{latitude}}">
<label for="longitude">Longitude (degrees, east positive)</label>
<input id="longitude" name="longitude" type="number" step="any" min="-180" max="180" required value="{{longitude}}">
<label for="elevation">Elevation (metres)</label>
<input id="elevation" name="elevation" type="number" step="any" min="-300" max="10000" required value="{{elevation}}">
</fieldset>

<fieldset><legend>Horizon limit</legend>
<div class="check"><input id="horizonOn" name="horizonOn" type="checkbox" {{horizonOn}}>
<label for="horizonOn">Refuse gotos to targets lower than</label></div>
<label for="horizonLimit">Altitude (degrees)</label>
<input id="horizonLimit" name="horizonLimit" type="number" step="any" min="-90" max="90" required value="{{horizonLimit}}">
<p class="note">For gotos from the window, Alpaca clients and Stellarium alike. Goto
East and Slow Goto are not checked.</p>
</fieldset>

<fieldset><legend>Servers at the next start</legend>
<div class="check"><input id="alpacaEnabled" name="alpacaEnabled" type="checkbox" {{alpacaEnabled}}>
<label for="alpacaEnabled">Start the Alpaca server</label></div>
<label for="alpacaPort">Alpaca port</label>
<input id="alpacaPort" name="alpacaPort" type="number" min="1" max="65535" required value="{{alpacaPort}}">
<label for="alpacaListen">Alpaca listens on</label>
<input id="alpacaListen" name="alpacaListen" type="text" required spellcheck="false" autocapitalize="off" value="{{alpacaListen}}">
<label for="alpacaDiscoveryPort">Discovery port (UDP)</label>
<input id="alpacaDiscoveryPort" name="alpacaDiscoveryPort" type="number" min="1" max="65535" required value="{{alpacaDiscoveryPort}}">
<div class="check"><input id="stellariumEnabled" name="stellariumEnabled" type="checkbox" {{stellariumEnabled}}>
<label for="stellariumEnabled">Start the Stellarium server</label></div>
<label for="stellariumPort">Stellarium port</label>
<input id="stellariumPort" name="stellariumPort" type="number" min="1" max="65535" required value="{{stellariumPort}}">
<label for="stellariumListen">Stellarium listens on</label>
<input id="stellariumListen" name="stellariumListen" type="text" required spellcheck="false" autocapitalize="off" value="{{stellariumListen}}">
<p class="note">These apply at the next start; options on the command line win for
the run they are given to. 127.0.0.1 is this computer only, 0.0.0.0 every network.
Without the Alpaca server this page is not there: start with --alpaca to reach it.</p>
</fieldset>

<button id="save" type="submit">Save</button>
<p id="status" role="status" aria-live="polite"></p>
</form>
<p class="note">The site and the horizon limit apply as soon as they are saved. They are
kept in <code>{{settingsFile}}</code>. UniqueID <code>{{uniqueId}}</code>.</p>

<script>
"use strict";
const form = document.getElementById("settings");
const status = document.getElementById("status");
const horizonOn = form.elements.horizonOn;
const follow = () => { form.elements.horizonLimit.disabled = !horizonOn.checked; };
horizonOn.addEventListener("change", follow);
follow();
form.addEventListener("submit", async (event) => {
  event.preventDefault();
  const f = form.elements;
  const number = (name) => (f[name].value.trim() === "" ? null : Number(f[name].value));
  const settings = {
    latitude: number("latitude"), longitude: number("longitude"),
    elevation: number("elevation"),
    horizonLimit: horizonOn.checked ? number("horizonLimit") : null,
    alpacaEnabled: f.alpacaEnabled.checked, alpacaPort: number("alpacaPort"),
    alpacaListen: f.alpacaListen.value.trim(),
    alpacaDiscoveryPort: number("alpacaDiscoveryPort"),
    stellariumEnabled: f.stellariumEnabled.checked, stellariumPort: number("stellariumPort"),
    stellariumListen: f.stellariumListen.value.trim(),
  };
  status.className = "";
  status.textContent = "Saving\u2026";
  try {
    const response = await fetch(location.pathname, {
      method: "PUT", headers: { "Content-Type": "application/json" },
      body: JSON.stringify(settings) });
    const answer = await response.json();
    status.className = answer.saved ? "saved" : "failed";
    status.textContent = answer.message;
  } catch (error) {
    status.className = "failed";
    status.textContent = "Not saved: Morvane Control did not answer. Is it still running?";
  }
});
</script>
</body></html>
)html");
}

}  // namespace morvane::remote
